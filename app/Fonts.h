#pragma once

// Adds the panel's face aliases ("宋体"/"SimSun" to a CJK serif face, "MS Sans Serif" to a plain sans
// face) to the process's fontconfig set-up. Call before the first font is resolved, that is before
// the application object exists. Returns false when fontconfig refused the aliases; the window then
// still works, with the desktop's default faces.
bool LoadFontAliases();
