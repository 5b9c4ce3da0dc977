#include "common/Failure.h"

namespace kamo {

namespace {

// What what() says: the code's name and its details (then the cause's), for logs and tests; never
// shown to the user.
std::string Describe(FailureCode code, const std::vector<std::string>& details, const Failure* cause = nullptr) {
    std::string text = FailureName(code);
    for (size_t i = 0; i < details.size(); ++i)
        text += (i ? ", " : ": ") + details[i];
    if (cause)
        text += std::string(" (") + cause->what() + ")";
    return text;
}

} // namespace

const std::vector<FailureCode>& AllFailureCodes() {
#define KAMO_FAILURE_VALUE(name) FailureCode::name,
    static const std::vector<FailureCode> codes{KAMO_FAILURE_CODES(KAMO_FAILURE_VALUE)};
#undef KAMO_FAILURE_VALUE
    return codes;
}

const char* FailureName(FailureCode code) {
    switch (code) {
#define KAMO_FAILURE_CASE(name)                                                                                        \
    case FailureCode::name:                                                                                            \
        return #name;
        KAMO_FAILURE_CODES(KAMO_FAILURE_CASE)
#undef KAMO_FAILURE_CASE
    }
    return "Failure";
}

Failure::Failure(FailureCode code, std::vector<std::string> details)
    : std::runtime_error(Describe(code, details)), code_(code), details_(std::move(details)) {}

Failure::Failure(FailureCode code, std::vector<std::string> details, const Failure& cause)
    : std::runtime_error(Describe(code, details, &cause)), code_(code), details_(std::move(details)),
      cause_(std::make_shared<const Failure>(cause)) {}

} // namespace kamo
