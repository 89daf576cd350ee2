#include "settings/PreferenceEnvironment.h"

#include "platform/ProgramPaths.h"

PreferenceEnvironment PreferenceEnvironment::OfThisProgram(PreferenceStoreKind store)
{
    PreferenceEnvironment environment;
    environment.programFile = ProgramFilePath();
    if (!environment.programFile.empty()) environment.programFolder = environment.programFile.parent_path();
    environment.documentsFolder = DocumentsFolder();
    environment.store = store;
    environment.openRegistry = SystemRegistryOpener();
    return environment;
}
