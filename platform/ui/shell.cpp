// The replaceable message box and shell call, the same on every backend.
#include "platform/ui/shell.h"

#include <mutex>

namespace deckwright {

namespace {

// Workers show their boxes from their own threads: the replacements are read under a lock.
std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}
MessageBoxFunction& MessageBoxReplacement() {
    static MessageBoxFunction function;
    return function;
}
ShellOpenFunction& ShellReplacement() {
    static ShellOpenFunction function;
    return function;
}

template <typename Function>
Function Swap(Function& slot, Function function) {
    std::lock_guard<std::mutex> guard(Lock());
    Function previous = std::move(slot);
    slot = std::move(function);
    return previous;
}

template <typename Function>
Function Current(const Function& slot) {
    std::lock_guard<std::mutex> guard(Lock());
    return slot;
}

}  // namespace

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    if (auto replacement = Current(MessageBoxReplacement())) {
        return replacement(owner, text, caption, type);
    }
    return SystemMessageBox(owner, text, caption, type);
}

void ShellOpen(HWND owner, const std::string& verb, const std::string& file, int show) {
    if (auto replacement = Current(ShellReplacement())) {
        replacement(owner, verb, file, show);
        return;
    }
    SystemShellOpen(owner, verb, file, show);
}

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function) {
    return Swap(MessageBoxReplacement(), std::move(function));
}

ShellOpenFunction SetShellOpenFunction(ShellOpenFunction function) {
    return Swap(ShellReplacement(), std::move(function));
}

}  // namespace deckwright
