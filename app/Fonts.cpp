#include "Fonts.h"

#include "z7-fonts-conf.h"

#include <fontconfig/fontconfig.h>

bool LoadFontAliases() {
    // The aliases are compiled in, so the program finds them wherever it is installed or run from.
    if (!FcInit())
        return false;
    FcConfig* config = FcConfigGetCurrent();
    return config &&
           FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kZ7FontsConf), FcTrue);
}
