#include "platform/RegistryIni.h"

RegistryIniOpener SystemRegistryOpener()
{
    return {};
}
