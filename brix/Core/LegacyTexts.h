#pragma once
// Error sites and message texts kept exactly as earlier releases wrote them.
//
// Some error records name a fixed source file and line instead of where the code now
// stands, and some messages have odd wording ("throwed", "two more than one mesh", a
// missing space before "doesn't", an assure text naming a variable "b"). They are what
// every release so far has shown: tests pin them byte for byte, and users' scripts may
// match them (a console message, the "source line" of an error record). So they are kept
// here, in one place, and are not to be corrected as a tidy-up; changing one is a
// deliberate break of that promise.

namespace brix::legacy {

// A place that an error record names in place of the code's own file and line.
struct ErrorSite {
    const char* file;
    const char* function;
    int line;
};

// --- Fixed error sites ----------------------------------------------------------------
// A regular expression that cannot be compiled, and any other failure while compiling.
inline constexpr ErrorSite kRegexCompile = {"Utils/URegex", "brix::URegex<unsigned char>::CreateOnigRegex", 145};
inline constexpr ErrorSite kRegexConstructor = {"Utils/URegex", "brix::URegex<unsigned char>::URegex", 75};
// A stream parser made without a stream.
inline constexpr ErrorSite kParseStreamWithoutStream = {
    "Utils/UTextParser", "brix::TextParserPolicy_ParseStream<unsigned char>::TextParserPolicy_ParseStream", 369};
// Foreign exceptions caught by the option parsers' guards (the function is the guard's).
inline constexpr ErrorSite kCommandArgumentGuard = {"Utils/UCommandArgument", nullptr, 76};
inline constexpr ErrorSite kCommandLineGuard = {"Utils/UCommandLine", nullptr, 83};
// A module ID that the registry does not hold.
inline constexpr ErrorSite kModuleNotFound = {"HModuleInfo", "kiln::ModuleInfoBase::GetModuleInfoBaseFor", 47};
// The plug-in's core services cannot be created.
inline constexpr ErrorSite kCoreServicesNotCreated = {"Headers", "InitializePlugin_Base", 52};
// A bone whose bind matrix cannot be inverted.
inline constexpr ErrorSite kExportBindMatrix = {"TessalineExporter", "TessalineExporter::Export", 140};

// --- Verbatim texts -------------------------------------------------------------------
// The message of the failed bind-matrix check: the name of the flag that held the result.
inline constexpr char kExportBindMatrixCheck[] = "'assure' failed: b";
// Before the rendered record of an exception that reached a translator.
inline constexpr char kPluginThrewException[] = "The plugin throwed an exception:\r\n";
// A bone bound with different bind poses to different meshes.
inline constexpr char kDistinctBindPoses[] =
    "Can't export bones with multiple distinct bind poses. Please use the same bind pose when binding a bone two "
    "more than one mesh.";
// A module ID that the registry does not hold: the first text, the ID, then the second,
// with no space before it ("Error - module with ID 8doesn't exist.").
inline constexpr char kModuleNotFoundBefore[] = "Error - module with ID ";
inline constexpr char kModuleNotFoundAfter[] = "doesn't exist.";
// The plug-in's core services cannot be created.
inline constexpr char kCoreServicesNotCreatedText[] = "unable to create the os core service object";

}  // namespace brix::legacy
