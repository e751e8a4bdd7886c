#include "publishing/export/PLRExportRenderer.h"

#include "layout/base/PLRLayoutImageProvider.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutTree.h"
#include "publishing/export/PLRExportImaging.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Image.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "platform/Log.h"
#include "store/session/PLRPostManager.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSet>
#include <QTransform>
#include <QtConcurrent/QtConcurrentMap>

#include <cmath>
#include <mutex>

#include <sys/stat.h>

// Serves the prepared pictures as the photos' full-size images (the export draws those). Its
// answers only read: one made for each drawing serves it on any thread.
class PLRExportRenderer::PhotoProvider final : public PLRLayoutImageProvider {
public:
    explicit PhotoProvider(const Photos& photos, Pictures pictures = {}) : m_photos(photos), m_pictures(std::move(pictures)) {}
    void setPictures(const Pictures& pictures) { m_pictures = pictures; }
    void setPicture(const QString& identifier, const QImage& picture) { m_pictures.insert(identifier, picture); }

    bool hasImage(const QString& identifier) const override
    {
        const auto it = m_photos.constFind(identifier);
        return it != m_photos.cend() && it->available;
    }
    QSizeF imageSize(const QString& identifier) const override
    {
        const auto it = m_photos.constFind(identifier);
        return it != m_photos.cend() ? it->size : QSizeF();
    }
    QImage exportImage(const QString& identifier) const override { return m_pictures.value(identifier); }
    QImage fullSizeImage(const QString& identifier) const override { return m_pictures.value(identifier); }
    QStringList focusKeywords(const QString& identifier) const override
    {
        const auto it = m_photos.constFind(identifier);
        return it != m_photos.cend() ? it->keywords : QStringList();
    }

private:
    const Photos& m_photos;
    Pictures m_pictures;
};

PLRExportRenderer::Photos PLRExportRenderer::photosOf(PLRPostManager* postManager, const PLRLayout& layout)
{
    Photos photos;
    if (!postManager)
        return photos;
    const QHash<QString, qint64> uses = plr::tree::imageUseCounts(layout);
    for (auto it = uses.cbegin(); it != uses.cend(); ++it) {
        const PLRSourceImagePtr image = postManager->imageForIdentifier(it.key());
        Photo photo;
        if (!image) {
            photos.insert(it.key(), photo);
            continue;
        }
        photo.path = image->path();
        photo.fileName = image->location().isValid() ? image->location().fileName() : QString();
        photo.size = QSizeF(image->width(), image->height());
        photo.keywords = image->focusKeywords();
        photo.dpi = image->dpi();
        photo.problem = image->problem();
        photo.judged = image->isJudged();
        photo.stamp = image->fileStamp();
        photo.source = image;
        photo.available = !photo.path.isEmpty() && photo.problem == PLRPhotoProblem::None;
        photos.insert(it.key(), photo);
    }
    return photos;
}

namespace {

QString nameOf(const QString& identifier, const PLRExportRenderer::Photo& photo)
{
    return photo.fileName.isEmpty() ? QStringLiteral("a photo no longer in the post (%1)").arg(identifier) : photo.fileName;
}

} // namespace

QStringList PLRExportRenderer::unusablePhotos(const PLRLayout& layout, const Photos& photos)
{
    QStringList problems;
    const QHash<QString, qint64> uses = plr::tree::imageUseCounts(layout);
    for (auto it = uses.cbegin(); it != uses.cend(); ++it) {
        if (it.key().isEmpty())
            continue;   // an image block without a photo draws its placeholder
        const Photo photo = photos.value(it.key());
        const QFileInfo file(photo.path);
        PLRPhotoProblem problem = photo.problem;
        if (photo.path.isEmpty() || (!photo.available && problem == PLRPhotoProblem::None) || !file.exists())
            problem = PLRPhotoProblem::Missing;
        if (problem == PLRPhotoProblem::None) {
            // The folder may not have seen the file change yet: its header at least.
            QImageReader reader(photo.path);
            const QSize size = reader.size();
            if (!file.isFile() || !reader.canRead() || !size.isValid() || size.isEmpty()) {
                problem = plr_image::checkPhoto(photo.path);   // fails at the header: quick
                if (problem == PLRPhotoProblem::None)
                    problem = PLRPhotoProblem::Unreadable;
            }
        }
        if (problem != PLRPhotoProblem::None)
            problems.append(QStringLiteral("%1: %2").arg(nameOf(it.key(), photo), describePhotoProblem(problem)));
    }
    problems.sort(Qt::CaseInsensitive);
    return problems;
}

QStringList PLRExportRenderer::checkUnjudgedPhotos(const Photos& photos, QThreadPool* pool)
{
    struct Check {
        QString name;
        Photo photo;
        PLRPhotoProblem problem = PLRPhotoProblem::None;
    };
    // Also the photos whose file changed since the folder last looked (its verdict is about the
    // earlier version).
    const auto changedOnDisk = [](const Photo& photo) {
        struct stat st {};
        if (::stat(QFile::encodeName(photo.path).constData(), &st) != 0)
            return true;
        return PLRFileStamp::of(st) != photo.stamp;
    };
    QList<Check> checks;
    for (auto it = photos.cbegin(); it != photos.cend(); ++it)
        if (it.value().available && (!it.value().judged || changedOnDisk(it.value())))
            checks.append({nameOf(it.key(), it.value()), it.value()});
    QtConcurrent::blockingMap(pool, checks, [](Check& check) {
        const PLRSourceImagePtr source = check.photo.source.lock();
        check.problem = source ? source->checkedProblem() : plr_image::checkPhoto(check.photo.path);
    });
    QStringList problems;
    for (const Check& check : std::as_const(checks))
        if (check.problem != PLRPhotoProblem::None)
            problems.append(QStringLiteral("%1: %2").arg(check.name, describePhotoProblem(check.problem)));
    problems.sort(Qt::CaseInsensitive);
    return problems;
}

plr_export::PhotoLookup PLRExportRenderer::lookupFor(const Photos& photos)
{
    return [photos](const QString& identifier) {
        const Photo photo = photos.value(identifier);
        return plr_export::PhotoFacts{photo.fileName, photo.keywords};
    };
}

PLRExportRenderer::PLRExportRenderer(const PLRLayout& layout, double layoutWidth, Photos photos)
    : m_layout(std::make_unique<PLRLayout>(layout)), m_photos(std::move(photos)),
      m_background(PLRLayoutManager::backgroundColourForLayout(*m_layout).toQColor())
{
    m_manager = std::make_unique<PLRLayoutManager>(m_layout.get());
    auto provider = std::make_unique<PhotoProvider>(m_photos);
    m_provider = provider.get();
    m_manager->setImageProvider(std::move(provider));
    // Full-size pictures, no keyword badges, no hover marks.
    m_manager->setLayoutIsBeingExported(true);
    m_proxy = std::make_unique<PLRLayoutViewProxy>(m_manager.get(), m_layout.get(), layoutWidth);
    m_proxy->setLive(false);
    if (PLRLayoutView* view = m_proxy->layoutView()) {
        view->ensureSectionLayout();
        view->updateConstraints();
        view->layoutSubtreeIfNeeded();
    }
}

PLRExportRenderer::~PLRExportRenderer()
{
    m_proxy.reset();
    m_manager.reset();
}

PLRLayoutView* PLRExportRenderer::layoutView() const
{
    return m_proxy ? m_proxy->layoutView() : nullptr;
}

PLRBlockView* PLRExportRenderer::blockView(const PLRBlock* block) const
{
    return m_proxy ? m_proxy->blockViewForBlock(block) : nullptr;
}

QColor PLRExportRenderer::backgroundColour() const
{
    return m_background;
}

void PLRExportRenderer::addRequests(const PLRBlock* block, double scale, QList<PictureRequest>& requests) const
{
    if (!block)
        return;
    if (plr::typeOneOfCase(*block) == plr::kBlockKindContainer) {
        for (const PLRBlock& sub : block->container().sub_blocks())
            addRequests(&sub, scale, requests);
        return;
    }
    if (plr::typeOneOfCase(*block) != plr::kBlockKindImage)
        return;
    const QString identifier = QString::fromStdString(block->image().img_ref());
    const Photo photo = m_photos.value(identifier);
    const PLRBlockView* view = blockView(block);
    if (!photo.available || !view)
        return;
    const QRectF target = PLRBlockDrawHandler_Image::imageRectInBlock(
        view->bounds(), photo.size, block->image().has_position() ? &block->image().position() : nullptr);
    if (target.isEmpty())
        return;
    const QSize size(std::max(1, int(std::ceil(target.width() * scale))), std::max(1, int(std::ceil(target.height() * scale))));
    for (PictureRequest& request : requests) {
        if (request.identifier == identifier) {
            // The same photo twice: one picture, the larger.
            if (size.width() > request.size.width())
                request.size = size;
            return;
        }
    }
    requests.append({identifier, photo.path, size, photo.fileName, photo.stamp, photo.source, photo.size});
}

QList<PLRExportRenderer::PictureRequest> PLRExportRenderer::picturesForBlock(const PLRBlock* block, double pixelWidth) const
{
    QList<PictureRequest> requests;
    const PLRBlockView* view = blockView(block);
    if (!view || !(view->bounds().width() > 0.0))
        return requests;
    const QSize size = renderSize(view->bounds().size(), pixelWidth);
    addRequests(block, double(size.width()) / view->bounds().width(), requests);
    return requests;
}

QList<PLRExportRenderer::PictureRequest> PLRExportRenderer::picturesForLayout(double pixelWidth) const
{
    QList<PictureRequest> requests;
    PLRLayoutView* view = layoutView();
    if (!view)
        return requests;
    view->layoutSubtreeIfNeeded();
    if (!(view->bounds().width() > 0.0))
        return requests;
    const double scale = double(renderSize(view->bounds().size(), pixelWidth).width()) / view->bounds().width();
    for (const PLRSection& section : m_layout->sections())
        for (const PLRBlock& block : section.blocks())
            addRequests(&block, scale, requests);
    return requests;
}

namespace {

// Whether the file is still the version of the photo the folder last looked at.
bool isVersion(const QString& path, const PLRFileStamp& stamp)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0
        && PLRFileStamp::of(st) == stamp;
}

// The upright pixel size a photo file's header gives; not valid when it cannot be read.
QSize uprightSizeOf(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    QSize size = reader.size();
    if (size.isValid() && (reader.transformation() & QImageIOHandler::TransformationRotate90))
        size.transpose();
    return size;
}

// Whether a photo of `now` pixels has the proportions of one of `planned` pixels (within a
// hundredth); true when either is not known.
bool sameProportions(const QSizeF& planned, const QSize& now)
{
    if (!(planned.width() > 0.0) || !(planned.height() > 0.0) || !now.isValid() || now.isEmpty())
        return true;
    const double before = planned.width() / planned.height();
    return std::abs(double(now.width()) / double(now.height()) - before) <= 0.01 * before;
}

} // namespace

QImage PLRExportRenderer::preparePicture(const PictureRequest& request, QString* unreadable, const plr_image::RowsDecoded& rowsDecoded,
                                         bool* replaced)
{
    if (replaced)
        *replaced = false;
    const QString name = request.fileName.isEmpty() ? request.path : request.fileName;
    // Another photo put in its place since the layout was laid out for it would be drawn
    // squeezed into the first one's frame.
    if (const QSize now = isVersion(request.path, request.stamp) ? QSize() : uprightSizeOf(request.path);
        !sameProportions(request.photoSize, now)) {
        PLR_LOG_WARN(QStringLiteral("Export: the photo %1 is %2 x %3 pixels now, %4 x %5 when the export began")
                         .arg(request.path)
                         .arg(now.width())
                         .arg(now.height())
                         .arg(request.photoSize.width())
                         .arg(request.photoSize.height()));
        if (replaced)
            *replaced = true;
        if (unreadable)
            *unreadable = QStringLiteral("%1: replaced during the export by a photo of other proportions").arg(name);
        return {};
    }
    QString error;
    PLRPhotoProblem problem = PLRPhotoProblem::None;
    QImage picture = plr_export::decodePhotoAtSize(request.path, request.size, &error, &problem, rowsDecoded);
    if (!picture.isNull())
        return picture;
    PLR_LOG_WARN(QStringLiteral("Export: the photo %1 could not be read: %2").arg(request.path, error));
    if (problem == PLRPhotoProblem::None)
        problem = PLRPhotoProblem::Unreadable;
    // Its photo is marked on the canvas and in the gallery as well.
    if (const PLRSourceImagePtr source = request.source.lock(); source && problem != PLRPhotoProblem::Missing)
        source->noteDecodeResult(request.stamp, problem);
    if (unreadable)
        *unreadable = QStringLiteral("%1: %2").arg(name, describePhotoProblem(problem));
    return {};
}

PLRExportRenderer::Pictures PLRExportRenderer::preparePictures(const QList<PictureRequest>& requests, bool parallel,
                                                               QStringList* unreadable)
{
    Pictures pictures;
    std::mutex mutex;
    auto decode = [&](const PictureRequest& request) {
        QString why;
        const QImage picture = preparePicture(request, &why);
        std::lock_guard lock(mutex);
        if (picture.isNull()) {
            if (unreadable)
                unreadable->append(why);
            return;
        }
        pictures.insert(request.identifier, picture);
    };
    if (parallel && requests.size() > 1)
        QtConcurrent::blockingMap(requests, decode);
    else
        for (const PictureRequest& request : requests)
            decode(request);
    return pictures;
}

namespace {
// A picture is drawn only when it has pixels and holds at most 1 GiB.
bool withinDrawingLimit(const QSize& size)
{
    return !size.isEmpty() && double(size.width()) * double(size.height()) * 4.0 <= double(1 << 30);
}
} // namespace

QSize PLRExportRenderer::renderSize(const QSizeF& bounds, double pixelWidth)
{
    if (!(bounds.width() > 0.0) || !(bounds.height() > 0.0))
        return {};
    const float w = float(pixelWidth > 0.0 && std::isfinite(pixelWidth) ? pixelWidth : bounds.width());
    const float scale = w / float(bounds.width());
    const float h = float(bounds.height()) * scale;
    return QSize(int(w), int(h));
}

QImage PLRExportRenderer::blankPicture(const QSize& size) const
{
    if (!withinDrawingLimit(size))
        return {};
    QImage image(size, QImage::Format_RGB32);
    // Every pixel starts as the layout's background, whatever the blocks leave undrawn.
    image.fill(backgroundColour());
    return image;
}

QSize PLRExportRenderer::drawableSize(const QSizeF& bounds, double pixelWidth, QString* why)
{
    const QSize size = renderSize(bounds, pixelWidth);
    if (withinDrawingLimit(size))
        return size;
    PLR_LOG_WARN(QStringLiteral("Export: a render of %1 x %2 pixels is not possible").arg(size.width()).arg(size.height()));
    if (why)
        *why = size.isEmpty() ? QStringLiteral("it has no size to draw")
                              : QStringLiteral("at %1 x %2 pixels it is too large to draw; choose a smaller width")
                                    .arg(size.width())
                                    .arg(size.height());
    return {};
}

void PLRExportRenderer::setUpPainter(QPainter& painter)
{
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
}

QImage PLRExportRenderer::render(const QSizeF& bounds, double pixelWidth, const std::function<void(QPainter*)>& draw, QString* why,
                                 QImage blank) const
{
    const QSize size = drawableSize(bounds, pixelWidth, why);
    if (size.isEmpty())
        return {};
    QImage image = blank.size() == size ? std::move(blank) : blankPicture(size);
    QPainter painter(&image);
    setUpPainter(painter);
    const double scale = double(size.width()) / bounds.width();
    painter.scale(scale, scale);
    draw(&painter);
    return image;
}

PLRBlockDrawTree PLRExportRenderer::drawTree(const PLRBlock* block) const
{
    const PLRBlockView* view = blockView(block);
    return view ? PLRBlockDrawTree::ofView(*view) : PLRBlockDrawTree();
}

QImage PLRExportRenderer::drawBlock(const PLRBlockDrawTree& tree, double pixelWidth, const Pictures& pictures, QString* why,
                                    QImage blank) const
{
    if (!tree.block) {
        if (why)
            *why = QStringLiteral("it has no view to draw");
        return {};
    }
    // This drawing's own photos: nothing shared with another drawing is changed.
    const PhotoProvider provider(m_photos, pictures);
    PLRBlockDrawContext context;
    context.images = &provider;
    context.exporting = true;
    const QRectF bounds = tree.bounds();
    return render(bounds.size(), pixelWidth, [&](QPainter* painter) { tree.draw(*painter, bounds, context); }, why, std::move(blank));
}

QImage PLRExportRenderer::renderBlock(const PLRBlock* block, double pixelWidth, const Pictures& pictures, QString* why, QImage blank)
{
    return drawBlock(drawTree(block), pixelWidth, pictures, why, std::move(blank));
}

QImage PLRExportRenderer::renderLayout(double pixelWidth, const Pictures& pictures, QString* why)
{
    bool anyBlock = false;
    for (const PLRSection& section : m_layout->sections())
        anyBlock = anyBlock || section.blocks_size() > 0;
    PLRLayoutView* view = layoutView();
    if (!anyBlock || !view)
        return {};
    view->layoutSubtreeIfNeeded();
    m_provider->setPictures(pictures);
    const QRectF bounds = view->bounds();
    QImage image = render(bounds.size(), pixelWidth, [view, bounds](QPainter* painter) { view->displayRectIgnoringOpacity(bounds, painter); }, why);
    m_provider->setPictures({});
    return image;
}

// Where a picture lands on the drawing: rows `top` to `bottom` (in the drawing's pixels) show
// its `height` rows.
struct Placement {
    QString identifier;
    double top = 0.0;
    double bottom = 0.0;
    bool whole = false;   // where it lands is not known: it is waited for whole
};

struct PLRExportRenderer::BandDrawing::State {
    const PLRExportRenderer& renderer;
    const PLRBlockDrawTree& tree;
    PhotoProvider provider;
    PLRBlockDrawContext context;
    QImage image;
    std::unique_ptr<QPainter> painter;
    QTransform transform;
    QList<Placement> placements;
    // The rows of blocks drawn whole (text and the like: a glyph cut by a band's edge is not
    // drawn as it is whole), which no band edge may cross.
    QList<QPair<double, double>> unbroken;
    QHash<QString, QPair<int, int>> ready;   // rows final, of the picture's height
    int drawn = 0;

    State(const PLRExportRenderer& r, const PLRBlockDrawTree& t) : renderer(r), tree(t), provider(r.m_photos) {}

    void place(const PLRBlockDrawTree& node, const QPointF& origin, double scale, const QSet<QString>& awaited)
    {
        if (!node.block)
            return;
        if (plr::typeOneOfCase(*node.block) == plr::kBlockKindImage) {
            const QString identifier = QString::fromStdString(node.block->image().img_ref());
            if (awaited.contains(identifier)) {
                const QSizeF size = renderer.m_photos.value(identifier).size;
                Placement placement;
                placement.identifier = identifier;
                if (size.width() > 0.0 && size.height() > 0.0) {
                    const QRectF target = PLRBlockDrawHandler_Image::imageRectInBlock(
                        node.bounds(), size, node.block->image().has_position() ? &node.block->image().position() : nullptr);
                    placement.top = (origin.y() + target.top()) * scale;
                    placement.bottom = (origin.y() + target.bottom()) * scale;
                } else {
                    placement.whole = true;
                }
                placements.append(placement);
            }
        } else if (plr::typeOneOfCase(*node.block) != plr::kBlockKindContainer) {
            unbroken.append({origin.y() * scale, (origin.y() + node.frame.height()) * scale});
        }
        for (const PLRBlockDrawTree& sub : node.subBlocks)
            place(sub, origin + sub.frame.topLeft(), scale, awaited);
    }
};

PLRExportRenderer::BandDrawing::BandDrawing(const PLRExportRenderer& renderer, const PLRBlockDrawTree& tree, double pixelWidth,
                                            const QStringList& awaited, QString* why)
    : m_state(std::make_unique<State>(renderer, tree))
{
    State& s = *m_state;
    if (!tree.block) {
        if (why)
            *why = QStringLiteral("it has no view to draw");
        return;
    }
    // As render() makes and sets up its picture.
    const QRectF bounds = tree.bounds();
    const QSize size = drawableSize(bounds.size(), pixelWidth, why);
    if (size.isEmpty())
        return;
    s.image = renderer.blankPicture(size);
    if (s.image.isNull())
        return;
    s.context.images = &s.provider;
    s.context.exporting = true;
    const double scale = double(size.width()) / bounds.width();
    s.transform = QTransform::fromScale(scale, scale);
    s.painter = std::make_unique<QPainter>(&s.image);
    setUpPainter(*s.painter);
    s.place(tree, QPointF(0, 0), scale, QSet<QString>(awaited.cbegin(), awaited.cend()));
}

PLRExportRenderer::BandDrawing::~BandDrawing() = default;

bool PLRExportRenderer::BandDrawing::isNull() const
{
    return m_state->image.isNull();
}

QSize PLRExportRenderer::BandDrawing::size() const
{
    return m_state->image.size();
}

const uchar* PLRExportRenderer::BandDrawing::constBits() const
{
    return m_state->image.constBits();
}

qsizetype PLRExportRenderer::BandDrawing::bytesPerLine() const
{
    return m_state->image.bytesPerLine();
}

void PLRExportRenderer::BandDrawing::setPicture(const QString& identifier, const QImage& picture, int rows)
{
    m_state->provider.setPicture(identifier, picture);
    m_state->ready.insert(identifier, {std::clamp(rows, 0, picture.height()), picture.height()});
}

int PLRExportRenderer::BandDrawing::drawableRows() const
{
    const State& s = *m_state;
    int rows = s.image.height();
    for (const Placement& placement : s.placements) {
        const auto it = s.ready.constFind(placement.identifier);
        const int done = it == s.ready.cend() ? 0 : it->first;
        const int height = it == s.ready.cend() ? 0 : it->second;
        if (height > 0 && done >= height)
            continue;   // whole
        if (placement.whole)
            return 0;
        // Rows above the picture, and those its final rows cover (a resampled picture reads a
        // row or two beyond the one it draws).
        double covered = placement.top;
        if (height > 0 && done > 2)
            covered = placement.top + double(done - 2) * (placement.bottom - placement.top) / double(height);
        rows = std::min(rows, std::max(0, int(std::floor(covered)) - 1));
    }
    // A band ends above a block drawn whole that it would cut (a pixel of room either side).
    for (bool moved = true; moved;) {
        moved = false;
        for (const auto& [top, bottom] : s.unbroken)
            if (rows > 0 && rows > int(std::floor(top)) - 1 && rows < int(std::ceil(bottom)) + 1 && rows < s.image.height()) {
                rows = std::max(0, int(std::floor(top)) - 1);
                moved = true;
            }
    }
    return rows;
}

int PLRExportRenderer::BandDrawing::rowsDrawn() const
{
    return m_state->drawn;
}

void PLRExportRenderer::BandDrawing::drawTo(int rows)
{
    State& s = *m_state;
    rows = std::min(rows, s.image.height());
    if (!s.painter || rows <= s.drawn)
        return;
    QPainter& painter = *s.painter;
    painter.save();
    // The band, in the drawing's pixels; the block drawn through it as a whole drawing is. The
    // blocks the band does not reach are left out: a block drawn whole (text draws through a clip
    // of its own) lies in one band only, and is drawn once.
    painter.setClipRect(QRect(0, s.drawn, s.image.width(), rows - s.drawn));
    painter.setTransform(s.transform);
    const double scale = s.transform.m22();
    const QRectF bounds = s.tree.bounds();
    const QRectF band(bounds.left(), bounds.top() + s.drawn / scale, bounds.width(), (rows - s.drawn) / scale);
    s.tree.draw(painter, band, s.context);
    painter.restore();
    s.drawn = rows;
}

QImage PLRExportRenderer::BandDrawing::finish()
{
    State& s = *m_state;
    drawTo(s.image.height());
    s.painter.reset();
    s.provider.setPictures({});
    return std::move(s.image);
}

QImage PLRExportRenderer::BandDrawing::release()
{
    State& s = *m_state;
    s.painter.reset();
    s.provider.setPictures({});
    s.ready.clear();
    return std::move(s.image);
}
