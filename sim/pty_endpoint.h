#pragma once

#include <string>
#include <vector>

namespace oxtiva::sim
{

// The instrument's end of a serial line: the master side of a pseudo-terminal whose
// slave is reachable through a symlink. The master stays open while clients come and
// go; a client (the program opens the port for every exchange) only ever holds the slave.
class TPtyEndpoint
{
  public:
    TPtyEndpoint() = default;
    ~TPtyEndpoint();
    TPtyEndpoint(const TPtyEndpoint&) = delete;
    TPtyEndpoint& operator=(const TPtyEndpoint&) = delete;

    // Opens a new pseudo-terminal in raw mode and points linkPath at its slave.
    bool Open(const std::string& linkPath, std::string& error);
    // Removes the link and closes the pseudo-terminal.
    void Close();
    bool IsOpen() const { return fMaster >= 0; }
    int Fd() const { return fMaster; }

    // True while some client holds the slave open. Without one, Linux reports POLLHUP on
    // the master (and EIO on reads) until the next client opens the slave.
    bool ClientPresent() const;
    // Reads whatever has arrived without blocking; false when nothing was read.
    bool ReadAvailable(std::string& bytes);
    // Writes without blocking; what the line cannot take now is dropped, as a real
    // instrument's reply is lost when nobody listens.
    void Write(const std::string& bytes);

    // Another program opening the line as a client while one may hold it: it asks for
    // the lock every careful program asks for, and when it gets through sends bytes to
    // the instrument. False when the line was held against it.
    bool SecondOpenerGetsThrough(const std::string& bytes) const;

  private:
    int fMaster = -1;
    std::string fLinkPath;
};

} // namespace oxtiva::sim
