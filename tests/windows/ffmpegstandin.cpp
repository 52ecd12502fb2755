// An ffmpeg.exe of the Windows tests' own. It splits its command line as the real converter
// does (CommandLineToArgvW) and records the arguments, UTF-8 and NUL-separated, in a file of its
// own in the folder named by ZORV_STANDIN_RECORDS; it adds "start OUTPUT" and, as it ends,
// "end OUTPUT" to the file "events" there, and sleeps ZORV_STANDIN_SLEEP seconds in between
// where that is set. It writes nothing to standard output, and exits with 3 after a reason on
// standard error where the input's name holds "exit3". Asked for the preview's picture (its first
// argument -nostdin), it records nothing and fails, as a converter that cannot read the file.

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size_t(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result; // keeps the terminating NUL as the separator
}

// Adds one line to the shared events file. Opened unshared, so runs that end at once take turns:
// under Wine, appends from several processes at once overwrite each other now and then.
void addEvent(const std::wstring &folder, const std::string &line)
{
    for (int tries = 0; tries < 2000; ++tries) {
        const HANDLE file = CreateFileW(
            (folder + L"\\events").c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
            CloseHandle(file);
            return;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION)
            return;
        Sleep(5);
    }
}

} // namespace

int main()
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    wchar_t folder[MAX_PATH] = {};
    if (!arguments || !GetEnvironmentVariableW(L"ZORV_STANDIN_RECORDS", folder, MAX_PATH))
        return 1;
    if (count > 1 && std::wstring(arguments[1]) == L"-nostdin")
        return 1;

    std::string record;
    for (int i = 1; i < count; ++i)
        record += utf8(arguments[i]);
    std::string output = count > 1 ? utf8(arguments[count - 1]) : std::string(1, '\0');
    output.pop_back();
    addEvent(folder, "start " + output + "\n");
    // Written under a temporary name first, so that a reader never sees half a record.
    const std::wstring name
        = std::wstring(folder) + L"\\run." + std::to_wstring(GetCurrentProcessId());
    const std::wstring part = name + L".part";
    HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, record.data(), DWORD(record.size()), &written, nullptr);
    CloseHandle(file);
    const bool recorded = ok && MoveFileW(part.c_str(), name.c_str());

    wchar_t seconds[32] = {};
    if (GetEnvironmentVariableW(L"ZORV_STANDIN_SLEEP", seconds, 32))
        Sleep(DWORD(_wtof(seconds) * 1000));
    addEvent(folder, "end " + output + "\n");
    // A conversion that fails, chosen by the input's name, with a reason as ffmpeg gives one.
    if (count > 3 && std::wstring(arguments[3]).find(L"exit3") != std::wstring::npos) {
        std::string reason = utf8(arguments[3]);
        reason.pop_back();
        reason += ": Invalid data found when processing input\r\nConversion failed!\r\n";
        WriteFile(
            GetStdHandle(STD_ERROR_HANDLE), reason.data(), DWORD(reason.size()), &written, nullptr);
        return 3;
    }
    return recorded ? 0 : 1;
}
