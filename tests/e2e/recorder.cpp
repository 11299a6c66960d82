// Stand-in for another vendor's uninstaller: the driver copies it to a table
// path such as "C:\Program Files\X\Uninstall.exe". Each start appends one
// line to <its own path>.log and exits at once:
//   show=<wShowWindow, or - without STARTF_USESHOWWINDOW> TAB cwd=<folder>
//   TAB pf=<its Program Files folder> TAB temp=<its TEMP> TAB cmd=<command line>
// in UTF-8. It has Kestane's bitness, so pf= is the folder Kestane sees.
// Many copies start at the same moment, so writers take turns through a
// named mutex and write each line with one call.
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

}  // namespace

int wmain() {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);

    wchar_t self[MAX_PATH * 2] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    wchar_t cwd[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(MAX_PATH * 2, cwd);

    std::string line = "show=";
    if (startup.dwFlags & STARTF_USESHOWWINDOW)
        line += std::to_string(startup.wShowWindow);
    else
        line += "-";
    wchar_t program_files[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, program_files);
    wchar_t temp[MAX_PATH * 2] = {};
    GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH * 2);
    line += "\tcwd=" + Utf8(cwd) + "\tpf=" + Utf8(program_files) + "\ttemp=" + Utf8(temp) + "\tcmd=" +
            Utf8(GetCommandLineW()) + "\n";

    std::wstring log = std::wstring(self) + L".log";
    HANDLE turn = CreateMutexW(nullptr, FALSE, L"Global\\tollvard-e2e-recorder");
    if (turn) WaitForSingleObject(turn, 10000);
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    int result = 1;
    if (file != INVALID_HANDLE_VALUE) {
        SetFilePointer(file, 0, nullptr, FILE_END);
        DWORD written = 0;
        if (WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
            written == line.size())
            result = 0;
        CloseHandle(file);
    }
    if (turn) {
        ReleaseMutex(turn);
        CloseHandle(turn);
    }
    return result;
}
