#include "TranslatorOptions.h"

#include "Core/UMessage.h"

void WarnAboutOptions(const OptionLine& options) {
    for (int32_t i = 0; i < options.GetNumArguments(); ++i) {
        const brix::UBaseCommandArgument<unsigned char> argument = options.GetArgument(i);
        if (argument.GetNumParameters() == 1)
            brix::UMessage(brix::Channel::Warning, "Unknown argument \"")
                << argument.GetName() << "\". Ignoring argument.";
        else
            brix::UMessage(brix::Channel::Warning, "Wrong number of parameters for command line argument \"")
                << argument.GetName() << "\". Ignoring argument.";
    }
}
