#pragma once

#include <QString>
#include <QStringList>

// Modules of our own that the application loads when their work is first asked for, so that
// the libraries behind them (photo metadata, zip archives) are not loaded at start-up. A module
// is a shared object installed beside the executable; a development run finds it in the build
// tree too.
namespace platform::modules {

// Where modules are looked for, in order: the executable's folder, then, in a development run,
// the build tree's.
QStringList searchFolders();
// The build tree's folder of modules and plugins when this executable runs from inside the build
// tree it was built in (a development run, the tests); empty otherwise: an installed copy loads
// only what lies beside it, never what a build tree holds now.
QString buildTreeFolder();
// The path of the module file, empty when it is in none of the folders.
QString pathOf(const QString& fileName);

// The address of `symbol` in the module `fileName`, loading the module the first time. A module
// once loaded stays for the run. Null when the module is missing or lacks the symbol: the
// reason is logged once per module and given in `error`.
void* resolve(const QString& fileName, const char* symbol, QString* error = nullptr);

// Tests: look only in these folders (empty: the usual ones). Forgotten between tests, as are
// the modules that failed to load.
void setSearchFoldersForTesting(const QStringList& folders);

} // namespace platform::modules
