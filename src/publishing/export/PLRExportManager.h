#pragma once

#include "store/model/PLRLayoutDocument.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class PLRPersistantPost;
class PLRPostManager;

// The export engine: a post's layout as numbered JPEG files (one per image or container block
// of the first section), chosen blocks as one collage JPEG, and the small preview JPEG that the
// store keeps with each post. Stateless.
class PLRExportManager {
public:
    using ProgressBlock = std::function<void(qint64 current, qint64 total)>;
    // Success, or what went wrong (shown to the user).
    using CompletionBlock = std::function<void(bool success, const QString& failure)>;

    static constexpr double kStandardLayoutWidth = 1500.0;
    // Home tiles are up to about 400 points wide: twice that keeps them sharp on a screen of
    // two pixels to the point (a tile asks for the width it needs and decodes no more).
    static constexpr double kPreviewWidth = 800.0;
    static constexpr float kPreviewCompression = 0.7f;
    static constexpr int kPreviewBlockCount = 5;
    static constexpr const char* kQueueLabel = "EXPORT LAYOUT";
    // About how much memory the blocks of a layout export in flight (photos decoded, drawings
    // not written yet) may hold; one block is always in flight, whatever it weighs.
    static constexpr qint64 kMemoryBudget = 256LL * 1024 * 1024;

    static PLRExportManager& sharedManager();

    // Exports the first section's image and container blocks into the folder, `width` pixels
    // wide each. Returns at once: the copy of the layout is taken and laid out now (later edits
    // do not reach the export), the work runs on the serial queue "EXPORT LAYOUT" and the pool's
    // threads, which decode, draw, sharpen, encode and write several blocks side by side (each
    // block streamed through two threads) without touching a view; progress (block number,
    // block count) is posted to the main thread in block order as each file is done, and the completion runs once, on the main queue, after
    // the last progress: success only when every file was written.
    void exportLayoutForPostManager(PLRPostManager* postManager, const QString& folder, qint64 width,
                                    qint64 quality, bool sharpness, qint64 nameOptions, bool inLiveView,
                                    ProgressBlock progress, CompletionBlock completion);

    // Why the layout (no blocks) or a collage of the blocks cannot be exported because photos
    // it shows are missing or unreadable, naming them; empty when every photo can be drawn.
    // Both exports run this check themselves and write nothing when it fails.
    QString unusablePhotosReport(PLRPostManager* postManager, const QList<PLRBlock*>& blocks = {});

    // The blocks (their top-level blocks, in layout order) as one JPEG `width` pixels wide,
    // written to `file` before the call returns. False (with `failure` when something went
    // wrong rather than there being nothing to export) when nothing was written.
    bool exportBlocks(const QList<PLRBlock*>& blocks, PLRPostManager* postManager, const QString& file,
                      qint64 width, int quality, QString* failure = nullptr);

    // The post's preview: its first five blocks laid out 1500 wide, drawn 400 wide, JPEG at 0.7.
    // Empty when the post is not open or its layout has no block.
    QByteArray exportLayoutPreviewForPost(PLRPersistantPost& post);

    // Whether a layout export with these name options would need a file name that is too long.
    bool hasExportBlocksWithNamesExceeedingLimit(PLRPostManager* postManager, qint64 nameOptions);

    static float interpolateQualityValue(qint64 quality);

    // How many blocks are decoded and drawn at once during a layout export (each has a thread
    // that sharpens, encodes and writes its rows beside it).
    static int parallelism();
    static void setParallelism(int count);   // 0: the default (processor count, at most 8)
    // What the blocks of a layout export in flight may hold.
    static qint64 memoryBudget();
    static void setMemoryBudget(qint64 bytes);   // 0: the default (kMemoryBudget)
    // The most the last layout export held in flight at once (also in the log).
    static qint64 lastExportPeakInFlight();

private:
    PLRExportManager() = default;
};
