#include "devstack_client.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

namespace vesko::devstack {
namespace {

std::optional<std::wstring> pipe_name() {
    wchar_t name[512];
    const DWORD n = GetEnvironmentVariableW(kPipeVariable, name, 512);
    if (n == 0 || n >= 512) return std::nullopt;
    return std::wstring(name, n);
}

std::optional<std::string> transact(const std::string& request) {
    const auto name = pipe_name();
    if (!name) return std::nullopt;
    std::vector<char> reply(256 * 1024);
    // The host keeps an instance listening; a burst of callers may find them
    // all busy for a moment, so a refused connection is tried again.
    for (int attempt = 0; attempt < 200; ++attempt) {
        DWORD got = 0;
        if (CallNamedPipeW(name->c_str(), const_cast<char*>(request.data()), static_cast<DWORD>(request.size()),
                           reply.data(), static_cast<DWORD>(reply.size()), &got, 2000)) {
            return std::string(reply.data(), got);
        }
        const DWORD error = GetLastError();
        if (error != ERROR_PIPE_BUSY && error != ERROR_FILE_NOT_FOUND && error != ERROR_SEM_TIMEOUT) break;
        Sleep(5);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ask(const Writer& request) {
    const DWORD saved = GetLastError();  // a query must not disturb the caller's last error
    auto reply = transact(request.bytes());
    SetLastError(saved);
    if (!reply || reply->size() < 4) return std::nullopt;
    Reader r(*reply);
    if (r.word() != 1) return std::nullopt;
    return reply->substr(4);
}

void misuse(const char* function, const std::string& why) {
    std::u16string text;
    for (const char* p = function; *p != '\0'; ++p) text.push_back(static_cast<char16_t>(*p));
    text += u": ";
    for (const char c : why) text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    const DWORD saved = GetLastError();
    (void)transact(Writer().op(Op::Misuse).text(text).bytes());
    SetLastError(saved);
}

void ledger(const char* what, unsigned long count) {
    std::u16string text;
    for (const char* p = what; *p != '\0'; ++p) text.push_back(static_cast<char16_t>(*p));
    (void)transact(Writer().op(Op::Ledger).text(text).word(static_cast<std::uint32_t>(count)).bytes());
}

}  // namespace vesko::devstack
