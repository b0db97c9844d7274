#pragma once
// The translators' option line: the host's option string as a dash-led command line
// named after the translator. No option name is known to either translator, so every
// argument draws a warning and changes nothing.

#include "Utils/UCommandLine.h"

using OptionLine = brix::UBaseCommandLine<unsigned char>;

// Writes one warning per option argument.
void WarnAboutOptions(const OptionLine& options);
