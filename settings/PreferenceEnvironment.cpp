#include "settings/PreferenceEnvironment.h"

#include "platform/ProgramPaths.h"

PreferenceEnvironment PreferenceEnvironment::OfThisProgram()
{
    PreferenceEnvironment environment;
    environment.programFile = ProgramFilePath();
    if (!environment.programFile.empty()) environment.programFolder = environment.programFile.parent_path();
    environment.documentsFolder = DocumentsFolder();
    // FIXME: the Windows registry store (RegistryIni over HKEY_CURRENT_USER)
    // is not written yet; a build that selects the registry store falls back
    // to the defaults and cannot save.
    return environment;
}
