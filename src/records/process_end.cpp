#include "records/process_end.h"

#include <QtGlobal>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace oxtiva
{

int EndProcess(int code)
{
#ifdef Q_OS_WIN
    std::fflush(nullptr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
#endif
    return code;
}

} // namespace oxtiva
