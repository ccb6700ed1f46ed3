#include "instruments/port_list.h"

#include <windows.h>

namespace oxtiva
{

std::optional<QStringList> AvailableSerialPorts()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
        return std::nullopt;
    QStringList names;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = 256;
        wchar_t data[256] = {};
        DWORD dataBytes = sizeof(data) - sizeof(wchar_t); // room for a missing terminator
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        // A name or datum too long for a port name is nobody's port.
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        names << QString::fromWCharArray(data);
    }
    ::RegCloseKey(key);
    return names;
}

} // namespace oxtiva
