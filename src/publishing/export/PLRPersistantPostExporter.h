#pragma once

#include "platform/Error.h"

#include <QString>
#include <QStringList>

#include <functional>

class PLRPersistantAccount;
class PLRPersistantPost;

// Post files: one post with the cached pictures of the photos its layout uses, as a zip
// archive "<post name>.ppost" whose single top-level entry is the post's bundle folder
// "<identifier>.plrpost" (with those pictures under "export_block_cache/<image identifier>/").
// Written into a nameless file of the chosen folder that takes the target's name when complete.
// Read off the main thread into a staging folder on the store's own file system, taking only
// what a post is made of (each part within a bound for its kind), checked, and moved into the
// store last, on the main thread.
class PLRPersistantPostExporter {
public:
    static constexpr const char* kPostFileExtension = "ppost";
    static constexpr const char* kBlockCacheFolder = "export_block_cache";
    // What an archive may unpack to, at most.
    static constexpr qint64 kMaxUnpackedBytes = qint64(8) * 1024 * 1024 * 1024;
    static constexpr qint64 kMaxEntries = 200000;

    // Saves the store, asks for a folder and writes the post file there, then tells the user
    // how it went, naming each photo left out with its reason. False when nothing was written
    // (cancelled or failed).
    static bool exportPost(PLRPersistantPost* post);
    // Asks for a post file and imports it.
    static void selectPathAndImportPost();
    // Imports the post file into the signed-in account and tells the user how it went (the
    // files opened from the command line or the file manager come here).
    static bool importPostWithURL(const QString& path);

    // Open panels: a folder to export to, a post file to import; empty when cancelled.
    static QString getExportDirectory();
    static QString getImportFile();

    // The work without questions or alerts.
    // Writes the post file of the post (as its bundle is on disk) to `target`, with the pictures
    // the store keeps of the photos its layout uses, or those an import left in the bundle's
    // "export_block_cache" when the store has none (they go into the store first where they can);
    // the photos that have none anywhere (a photo that cannot be read has none) are left out,
    // their identifiers in `leftOut`. Once the file is written the bundle keeps only the pictures
    // the store has none of ("export_block_cache" goes when none is left).
    static bool writePostFile(PLRPersistantPost& post, const QString& target, platform::Error* error = nullptr,
                              QStringList* leftOut = nullptr);
    // Adds the post of the file to the account under a new identifier and the import name;
    // the new post, or null with `error` (nothing left behind).
    // The unpacking runs on a worker thread while the main thread keeps handling events (but no
    // user input); `progress` hears, on the main thread, the bytes unpacked and to unpack.
    using ImportProgress = std::function<void(qint64 done, qint64 total)>;
    static PLRPersistantPost* importPostFile(const QString& path, PLRPersistantAccount* account,
                                             platform::Error* error = nullptr, ImportProgress progress = {});

    // The file name of a post's post file: the name made safe for a folder.
    static QString postFileNameForPostName(const QString& name);

    // The menu item "Export Post File...".
    static void enableImportExportPosts();
    static void disableImportExportPosts();
};
