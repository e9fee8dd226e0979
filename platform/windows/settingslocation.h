#pragma once

#include <QString>

// Where the settings file lives: beside a portable copy, or in the user's configuration folder
// for an installed program.
namespace platform {

// Where the program keeps its settings file, and the folder its windows fall back to when they
// know none (no saved folder, a saved folder that is gone, a refused entry).
struct ProgramPlaces {
    QString settingsFolder;
    QString defaultFolder;
    // Installed, the settings folder is the user's own and may not exist before the first write.
    bool installed = false;

    // Makes a missing settings folder of an installed program, and missing folders above it,
    // private to the user; does nothing for a portable copy, which writes beside itself.
    void makeSettingsFolder() const;
};

// A portable copy (the build folder, a copied folder) keeps both in its own folder.
ProgramPlaces portablePlaces(const QString& programFolder);

// Decided by where the program sits, never by what may be written there (root may write /usr/bin):
// installed is <prefix>/bin beside <prefix>/share/kalmora/, as the install lays them out, under a
// DESTDIR too. Installed, the settings live in $XDG_CONFIG_HOME/Kalmora (~/.config/Kalmora by
// default) and the windows fall back to the pictures folder, or to home where there is none.
ProgramPlaces programPlaces(const QString& programFolder);

} // namespace platform
