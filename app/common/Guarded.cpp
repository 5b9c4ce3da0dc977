#include "common/Guarded.h"

#include <exception>
#include <string>

#include "common/Messages.h"
#include "common/MessagesArchive.h"
#include "common/Prompter.h"

namespace kamo {

void Guarded(Prompter& prompter, const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& e) {
        prompter.Error(Say(ArchiveText::ErrorOccurred, {ErrorText(e)}));
    }
}

} // namespace kamo
