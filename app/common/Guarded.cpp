#include "common/Guarded.h"

#include <exception>
#include <string>

#include "common/Messages.h"
#include "common/Prompter.h"

namespace kamo {

void Guarded(Prompter& prompter, const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& e) {
        prompter.Error(std::string("エラーが発生しました。\n") + ErrorText(e));
    }
}

} // namespace kamo
