// The checks both Windows installers make before they change anything,
// built once as lumo-installer-checks.dll (packaging/windows/Windows.cmake):
// setup.exe calls IsPortName through NSIS's System plug-in, the MSI runs
// CheckPorts and RefuseWhileRunning as custom actions. Linked statically: it
// runs from a temporary folder, beside none of the program's DLLs.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <cwctype>
#include <string>

namespace
{
// A port name as Windows spells it: COM and a number from 1 to 256.
bool portName(const wchar_t* name)
{
    if (!name || _wcsnicmp(name, L"COM", 3) != 0 || name[3] < L'1' || name[3] > L'9')
        return false;
    int number = 0;
    for (const wchar_t* digit = name + 3; *digit; ++digit) {
        if (!std::iswdigit(*digit) || digit - name > 5)
            return false;
        number = number * 10 + (*digit - L'0');
    }
    return number <= 256;
}

std::wstring property(MSIHANDLE install, const wchar_t* name)
{
    wchar_t empty[1] = L"";
    DWORD size = 0;
    if (MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA)
        return {};
    std::wstring value(++size, L'\0');
    if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS)
        return {};
    value.resize(size);
    return value;
}

// Shows (or, installing silently, logs) the message and ends the installation.
UINT refuse(MSIHANDLE install, const std::wstring& message)
{
    // The text as a field of its own: a [ in a typed value is no property.
    const MSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, L"[1]");
    MsiRecordSetStringW(record, 1, message.c_str());
    MsiProcessMessage(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), record);
    MsiCloseHandle(record);
    return ERROR_INSTALL_FAILURE;
}

// A running program cannot be opened for writing.
bool running(const std::wstring& program)
{
    if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    const HANDLE file = CreateFileW(program.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(file);
    return false;
}
} // namespace

extern "C" {

__declspec(dllexport) BOOL WINAPI IsPortName(const wchar_t* name)
{
    return portName(name);
}

// COM1 and COM2 as given on msiexec's command line.
__declspec(dllexport) UINT WINAPI CheckPorts(MSIHANDLE install)
{
    for (const wchar_t* port : {L"COM1", L"COM2"}) {
        const std::wstring value = property(install, port);
        if (!value.empty() && !portName(value.c_str()))
            return refuse(install, std::wstring(port) + L"=" + value +
                                       L" is no port name: give COM and a number, such as COM7.");
    }
    return ERROR_SUCCESS;
}

// Nothing is replaced or removed while Lumo runs from INSTALLDIR.
__declspec(dllexport) UINT WINAPI RefuseWhileRunning(MSIHANDLE install)
{
    const std::wstring folder = property(install, L"INSTALLDIR");
    for (const wchar_t* program : {L"lumo.exe", L"lumo.com"})
        if (!folder.empty() && running(folder + program))
            return refuse(install, L"Lumo is running from " + folder + program +
                                       L". Close it, then try again.");
    return ERROR_SUCCESS;
}
}
