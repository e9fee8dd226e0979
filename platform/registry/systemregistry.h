#pragma once

#include <QString>
#include <QStringList>

// The registry entries this platform's system provides. There is one: the machine's
// system-information program is looked up under "SOFTWARE\Microsoft\Shared Tools\MSINFO", value
// "PATH", and here that value names a desktop system-information tool found on the machine.
// The folder entry ("...\Shared Tools Location", "MSINFO") is absent: no folder holds an
// "MSINFO32.EXE" here.
namespace platform {

// The programs that can stand in for the system-information program, in the order preferred:
// the dedicated system-information tools first, then the desktops' system monitors.
const QStringList& systemInformationPrograms();

// The full path of the first of them found as an executable file in folders (the folders of
// PATH when folders is empty); an empty string when none is installed.
QString findSystemInformationProgram(const QStringList& folders = {});

// Writes the entries above into the registry store (nothing when no program is found).
void addSystemEntries();

} // namespace platform
