#pragma once

namespace platform {
class Forms;
}

namespace conversion {

// The conversion run of "&Umwandeln": converts every file of frmMain's file list, one at a time
// on the calling (user-interface) thread, into JPEG files named base name + running number +
// extension in the source folder, while the progress window counts the files and offers to
// cancel between two of them. A failing step is skipped and the run goes on; a file that cannot
// be loaded or drawn leaves a gap in the numbering. No source is replaced before it was read.
void BatchRun(platform::Forms& forms);

} // namespace conversion
