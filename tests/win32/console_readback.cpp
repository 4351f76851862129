// console_readback: runs a program in a console window of its own, as an
// operator would see it, and reads back the characters the window shows.
//
//   console_readback EXPECTED [--after SHOWN KEYS]... PROGRAM [ARGS...]
//
// EXPECTED is ASCII, with "<dash>" where the window must show an em dash
// (U+2014). The program's three standard streams are the window (its
// keyboard and its screen); the screen is printed, as UTF-8, on this
// program's own standard output. Exit code 0 when the screen holds
// EXPECTED, 1 when not, 2 when there is no console window to run it in (wine
// needs a display for one).
//
// With --after, the program is answered at its keyboard: once its window
// shows SHOWN, KEYS are typed there ("<enter>" for Enter), in order. The
// program then has its window to itself, as one started from Explorer does
// (this program looks in only for a moment at a time), and EXPECTED is
// looked for in what the window showed last before the last KEYS; the
// program must still be running whenever a SHOWN is awaited.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr SHORT kColumns = 200;
constexpr SHORT kRows = 3000;  // a whole session, with nothing scrolled away
constexpr DWORD kLimitMs = 150'000;

std::wstring widened(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring quoted(const char* arg) {
    std::wstring out = L"\"" + widened(arg) + L"\"";
    return out;
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// Written straight to the handle this program was started with: the C
// runtime's streams still point there, but the console was replaced.
void say(HANDLE to, const std::string& text) {
    DWORD written = 0;
    WriteFile(to, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

HANDLE open_console(const wchar_t* name) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                       0, nullptr);
}

// The screen's lines up to the cursor, trailing blanks cut.
std::wstring screen_text(HANDLE screen) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(screen, &info)) return L"";
    std::wstring text;
    std::vector<wchar_t> row(static_cast<std::size_t>(info.dwSize.X));
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        DWORD got = 0;
        ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(row.size()), COORD{0, y}, &got);
        std::wstring line(row.data(), got);
        line.erase(line.find_last_not_of(L' ') + 1);
        text += line + L"\n";
    }
    return text;
}

struct Answer {
    std::wstring shown;
    std::wstring keys;
};

// Looks into the program's own console for a moment: `look` gets its keyboard and screen.
template <class Look>
bool look_into(DWORD pid, Look look) {
    if (!AttachConsole(pid)) return false;
    const HANDLE keyboard = open_console(L"CONIN$");
    const HANDLE screen = open_console(L"CONOUT$");
    const bool ok = keyboard != INVALID_HANDLE_VALUE && screen != INVALID_HANDLE_VALUE;
    if (ok) look(keyboard, screen);
    for (HANDLE h : {keyboard, screen})
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    FreeConsole();
    return ok;
}

void type_keys(HANDLE keyboard, const std::wstring& keys) {
    std::vector<INPUT_RECORD> records;
    for (const wchar_t c : keys) {
        for (const BOOL down : {TRUE, FALSE}) {
            INPUT_RECORD r{};
            r.EventType = KEY_EVENT;
            r.Event.KeyEvent.bKeyDown = down;
            r.Event.KeyEvent.wRepeatCount = 1;
            r.Event.KeyEvent.wVirtualKeyCode = c == L'\r' ? VK_RETURN : static_cast<WORD>(VkKeyScanW(c) & 0xFF);
            r.Event.KeyEvent.uChar.UnicodeChar = c;
            records.push_back(r);
        }
    }
    DWORD written = 0;
    WriteConsoleInputW(keyboard, records.data(), static_cast<DWORD>(records.size()), &written);
}

// The program in a console of its own, answered as `answers` say.
int answered(HANDLE report, const std::wstring& expected, const std::vector<Answer>& answers,
             std::vector<wchar_t>& line, const char* program) {
    FreeConsole();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr, &startup,
                        &info)) {
        say(report, "console_readback: cannot start " + std::string(program) + " (error " +
                        std::to_string(GetLastError()) + ")\n");
        return 2;
    }
    CloseHandle(info.hThread);
    const DWORD started = GetTickCount();
    std::wstring shown;
    int result = 0;
    for (const Answer& a : answers) {
        bool seen = false;
        while (!seen && result == 0) {
            if (WaitForSingleObject(info.hProcess, 200) == WAIT_OBJECT_0) {
                say(report, "console_readback: the program ended before its window showed [" + utf8(a.shown) + "]\n");
                result = 1;
            } else if (GetTickCount() - started > kLimitMs) {
                say(report, "console_readback: the window did not show [" + utf8(a.shown) + "] in time\n");
                result = 1;
            }
            look_into(info.dwProcessId, [&](HANDLE keyboard, HANDLE screen) {
                shown = screen_text(screen);
                seen = shown.find(a.shown) != std::wstring::npos;
                if (seen && result == 0) type_keys(keyboard, a.keys);
            });
        }
        if (result != 0) break;
        Sleep(2000);  // the program alone on its console while it takes the keys
    }
    if (WaitForSingleObject(info.hProcess, result == 0 ? kLimitMs : 0) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 255);
        WaitForSingleObject(info.hProcess, INFINITE);
        if (result == 0) say(report, "console_readback: the program did not end in time and was ended\n");
        result = 1;
    }
    DWORD exit_code = 0;
    GetExitCodeProcess(info.hProcess, &exit_code);
    CloseHandle(info.hProcess);
    say(report, "---- the console window showed, before the last keys (exit code " + std::to_string(exit_code) + ")\n" +
                    utf8(shown) + "----\n");
    if (result == 0 && shown.find(expected) == std::wstring::npos) {
        say(report, "console_readback: the window lacks [" + utf8(expected) + "]\n");
        return 1;
    }
    if (result == 0) say(report, "console_readback: the window shows [" + utf8(expected) + "]\n");
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const HANDLE report = GetStdHandle(STD_OUTPUT_HANDLE);
    if (argc < 3) {
        say(GetStdHandle(STD_ERROR_HANDLE), "usage: console_readback EXPECTED PROGRAM [ARGS...]\n");
        return 2;
    }
    std::wstring expected = widened(argv[1]);
    for (std::size_t at; (at = expected.find(L"<dash>")) != std::wstring::npos;) expected.replace(at, 6, L"\u2014");
    int first = 2;  // the program's argument
    std::vector<Answer> answers;
    while (first + 2 < argc && std::string(argv[first]) == "--after") {
        Answer a{widened(argv[first + 1]), widened(argv[first + 2])};
        for (std::size_t at; (at = a.keys.find(L"<enter>")) != std::wstring::npos;) a.keys.replace(at, 7, L"\r");
        answers.push_back(a);
        first += 3;
    }
    if (!answers.empty()) {
        std::wstring command = quoted(argv[first]);
        for (int i = first + 1; i < argc; ++i) command += L" " + quoted(argv[i]);
        std::vector<wchar_t> line(command.begin(), command.end());
        line.push_back(L'\0');
        return answered(report, expected, answers, line, argv[first]);
    }

    // A window of its own, as Explorer would give the program.
    FreeConsole();
    if (!AllocConsole()) {
        say(report, "console_readback: no console window (AllocConsole failed, error " +
                        std::to_string(GetLastError()) + "; is there a display?)\n");
        return 2;
    }
    const HANDLE keyboard = open_console(L"CONIN$");
    const HANDLE screen = open_console(L"CONOUT$");
    if (keyboard == INVALID_HANDLE_VALUE || screen == INVALID_HANDLE_VALUE) {
        say(report, "console_readback: cannot open the console's keyboard or screen\n");
        return 2;
    }
    SetConsoleScreenBufferSize(screen, COORD{kColumns, kRows});

    std::wstring command = quoted(argv[2]);
    for (int i = 3; i < argc; ++i) command += L" " + quoted(argv[i]);
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = keyboard;
    startup.hStdOutput = screen;
    startup.hStdError = screen;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        say(report, "console_readback: cannot start " + std::string(argv[2]) + " (error " +
                        std::to_string(GetLastError()) + ")\n");
        return 2;
    }
    CloseHandle(info.hThread);
    DWORD exit_code = 0;
    if (WaitForSingleObject(info.hProcess, kLimitMs) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 255);
        WaitForSingleObject(info.hProcess, INFINITE);
        say(report, "console_readback: the program did not end in time and was ended\n");
    }
    GetExitCodeProcess(info.hProcess, &exit_code);
    CloseHandle(info.hProcess);

    const std::wstring shown = screen_text(screen);
    say(report,
        "---- the console window shows (exit code " + std::to_string(exit_code) + ")\n" + utf8(shown) + "----\n");
    if (shown.find(expected) == std::wstring::npos) {
        say(report, "console_readback: the window lacks [" + utf8(expected) + "]\n");
        return 1;
    }
    say(report, "console_readback: the window shows [" + utf8(expected) + "]\n");
    return 0;
}
