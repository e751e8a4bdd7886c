// Loading and saving an account of 1,000 posts with 50-block layouts, against a plain copy
// of the same account folder (`cp -r`) made durable file by file: an fsync of each file and
// folder it copied, as a save makes what it wrote durable (and nothing else on the machine).
// Save and copy run in turns; prints the times and the ratios of the paired turns.
//
// Build and run: cmake --preset bench && cmake --build build/bench --target store_bench
//                build/bench/bench/store_bench

#include "BenchSupport.h"

#include "store/model/PLRLayoutDocument.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/PLRSaveBatch.h"
#include "platform/Keychain.h"
#include "platform/UserDefaults.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kPosts = 1000;
constexpr int kBlocks = 50;

PLRLayout makeLayout(int seed)
{
    PLRLayout layout;
    layout.set_padding(10);
    layout.mutable_background_colour()->set_r(255);
    layout.mutable_background_colour()->set_g(255);
    layout.mutable_background_colour()->set_b(255);
    PLRSection* section = layout.add_sections();
    section->mutable_stacked();
    for (int i = 0; i < kBlocks; ++i) {
        PLRBlock* block = section->add_blocks();
        block->set_id(plr::newBlockIdentifier().toStdString());
        block->set_aspect_ratio(1.0f + float((i + seed) % 7) / 10.0f);
        switch (i % 5) {
        case 0: {
            PLRBlock_Container* row = block->mutable_container();
            for (int k = 0; k < 2; ++k) {
                PLRBlock* sub = row->add_sub_blocks();
                sub->set_id(plr::newBlockIdentifier().toStdString());
                sub->mutable_image()->set_img_ref(QStringLiteral("IMG_%1_%2").arg(i).arg(k).toStdString());
            }
            break;
        }
        case 1:
            block->mutable_text()->set_value("A paragraph of text about the photographs around it, long enough "
                                             "to look like a real caption in a blog post.");
            break;
        case 2:
            block->mutable_blank();
            break;
        default:
            block->mutable_image()->set_img_ref(QStringLiteral("IMG_%1_%2").arg(seed).arg(i).toStdString());
            block->mutable_image()->set_source_last_updated("1700000000");
            block->mutable_image()->mutable_position()->set_width(0.8f);
            break;
        }
    }
    return layout;
}

// Makes what `cp -r` copied durable: an fsync of every file and folder under `root`, folders
// after their contents. False when one cannot be opened or synced.
bool syncTree(const QString& root)
{
    bool ok = true;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    QStringList folders{root};
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileInfo().isDir() && !it.fileInfo().isSymLink()) {
            folders.append(path);
            continue;
        }
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        ok = fd >= 0 && ::fsync(fd) == 0 && ok;
        if (fd >= 0)
            ::close(fd);
    }
    for (auto folder = folders.crbegin(); folder != folders.crend(); ++folder) {
        const int fd = ::open(QFile::encodeName(*folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ok = fd >= 0 && ::fsync(fd) == 0 && ok;
        if (fd >= 0)
            ::close(fd);
    }
    return ok;
}

// A save lasts until it reports completion (the store is on the disk then); what the save
// queue still does afterwards (removing the replaced files' old copies) is waited for
// without being timed, so it does not slow the copy that follows.
double saveAll()
{
    QElapsedTimer timer;
    timer.start();
    bool done = false;
    PLRCoreManager::save([&done](bool) { done = true; });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double elapsed = double(timer.nsecsElapsed()) / 1e6;
    PLRCoreManager::saveQueue().waitUntilIdle();
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("PELLORA_HOME", home.path().toUtf8());
    qputenv("PELLORA_KEYCHAIN", "memory");
    qputenv("PELLORA_LOG_QUIET", "1");
    QCoreApplication app(argc, argv);
    bench_support::printLoad("before");
    platform::UserDefaults::standard().reload();
    platform::Keychain::setShared(platform::Keychain::make(QStringLiteral("memory")));

    PLRCoreManager::startManager();
    PLRCoreManager::completeSignIn("bench@example.com", "pw", "bench-user", "jwt");
    PLRUserSession* session = PLRCoreManager::userSession();
    for (int i = 0; i < kPosts; ++i) {
        PLRPostManager* manager = session->newPostManager();
        manager->createNewPostWithTitle(QStringLiteral("Post %1").arg(i), QUrl());
        manager->representedPost()->setLayout(makeLayout(i));
    }
    const double firstSave = saveAll();
    const QString accountPath = session->account()->bundlePath();

    // Load: a fresh session reads the account and every post.
    PLRCoreManager::setUserSession(nullptr);
    QElapsedTimer timer;
    timer.start();
    PLRCoreManager::setUserSession(PLRUserSession::makeFromKeychain());
    const double load = double(timer.nsecsElapsed()) / 1e6;
    session = PLRCoreManager::userSession();
    const qsizetype loaded = session->account()->currentPosts().size();

    // Save of every post (each marked changed) and cp -r of the same account folder followed
    // by an fsync of what it copied, five times each, in turns: each save is paired with the
    // copy right after it (the disk is shared with other work).
    std::vector<double> saves, copies;
    bool copyFailed = false;
    for (int round = 0; round < 5; ++round) {
        for (PLRPersistantPost* post : session->account()->currentPosts())
            post->setHasChanges(true);
        saves.push_back(saveAll());
        const QString copyTarget = home.path() + QStringLiteral("/copy%1").arg(round);
        timer.restart();
        copyFailed |= QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), accountPath, copyTarget}) != 0;
        copyFailed |= !syncTree(copyTarget);
        copies.push_back(double(timer.nsecsElapsed()) / 1e6);
        QDir(copyTarget).removeRecursively();
    }
    const double save = bench_support::median(saves);
    const double copy = bench_support::median(copies);
    const double idleSave = saveAll();

    // The two halves of a save: serialising on the main thread, writing on the queue.
    for (PLRPersistantPost* post : session->account()->currentPosts())
        post->setHasChanges(true);
    timer.restart();
    std::shared_ptr<PLRSaveBatch> batch = session->prepareSave();
    const double prepare = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    double write = 0;
    PLRCoreManager::saveQueue().sync([&] { batch->write([&](bool) { write = double(timer.nsecsElapsed()) / 1e6; }); });

    std::printf("posts loaded:              %lld (of %d, %d blocks each)\n", (long long)loaded, kPosts, kBlocks);
    std::printf("first save (new bundles):  %8.1f ms\n", firstSave);
    std::printf("load:                      %8.1f ms\n", load);
    std::printf("save of every post:        %8.1f ms (median of %zu)\n", save, saves.size());
    std::printf("  serialising (main):      %8.1f ms\n", prepare);
    std::printf("  writing (save queue):    %8.1f ms\n", write);
    std::printf("save with nothing changed: %8.1f ms\n", idleSave);
    std::printf("cp -r + fsync of each copied file and folder: %8.1f ms (median)%s\n", copy,
                copyFailed ? " (cp or an fsync failed)" : "");
    bench_support::printPairedRatio("save / copy", saves, copies);
    bench_support::printLoad("after");
    PLRCoreManager::setUserSession(nullptr);
    return loaded == kPosts ? 0 : 1;
}
