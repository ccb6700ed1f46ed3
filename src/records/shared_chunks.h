#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

namespace oxtiva
{

// A list that grows at its end, kept in chunks that its copies share: a copy costs a pointer
// per chunk, so a save can take a month of records as they are now and read them on its own
// thread while the list goes on growing and changing. A chunk is copied only when the list
// changes it while a copy still holds it. Copies may live on other threads; each copy is
// changed only by the thread that owns it.
template <typename T, std::size_t ChunkSize = 4096> class TSharedChunks
{
  public:
    std::size_t size() const { return fSize; }
    bool empty() const { return fSize == 0; }
    const T& operator[](std::size_t aIndex) const
    {
        return (*fChunks[aIndex / ChunkSize])[aIndex % ChunkSize];
    }
    const T& back() const { return (*this)[fSize - 1]; }

    void push_back(const T& aValue)
    {
        if (fSize % ChunkSize == 0) {
            fChunks.push_back(std::make_shared<TChunk>());
            fChunks.back()->reserve(ChunkSize);
        } else {
            Own(fChunks.back());
        }
        fChunks.back()->push_back(aValue);
        ++fSize;
    }
    // The value to change in place; a chunk that a copy holds is copied first.
    T& Mutable(std::size_t aIndex)
    {
        return (*Own(fChunks[aIndex / ChunkSize]))[aIndex % ChunkSize];
    }

  private:
    using TChunk = std::vector<T>;

    static std::shared_ptr<TChunk>& Own(std::shared_ptr<TChunk>& aChunk)
    {
        if (aChunk.use_count() > 1) {
            auto own = std::make_shared<TChunk>();
            own->reserve(ChunkSize);
            own->assign(aChunk->begin(), aChunk->end());
            aChunk = std::move(own);
        } else {
            // A copy that let the chunk go on another thread has finished reading it.
            std::atomic_thread_fence(std::memory_order_acquire);
        }
        return aChunk;
    }

    std::vector<std::shared_ptr<TChunk>> fChunks;
    std::size_t fSize = 0;
};

} // namespace oxtiva
