#pragma once

// Renders a copy of a layout for an export: the copy is taken on the main thread when the
// export starts, so edits made while the export runs never reach it, and it is laid out
// off-screen at one width. Photos are drawn from pictures decoded (on any thread) at the size
// each block draws them, instead of whole photos scaled down while drawing: better pixels, a
// fraction of the memory and time.

#include "layout/views/PLRBlockDrawTree.h"
#include "publishing/export/PLRExportNames.h"
#include "store/model/PLRLayoutDocument.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"
#include "store/persistance-store/source/PLRSourceImage.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class PLRBlockView;
class QPainter;
class PLRLayoutManager;
class PLRLayoutView;
class PLRLayoutViewProxy;
class PLRPostManager;
class QThreadPool;

class PLRExportRenderer {
public:
    // What the render knows of a photo, taken on the main thread when the copy is made.
    struct Photo {
        QString path;
        QString fileName;
        QSizeF size;             // upright pixels
        QStringList keywords;
        qint64 dpi = 0;
        bool available = false;  // the file is there and nothing found it unusable
        PLRPhotoProblem problem = PLRPhotoProblem::None;   // what is known now
        bool judged = false;     // a decode has judged this version of the file
        PLRFileStamp stamp;      // the version of the file the folder knows
        std::weak_ptr<PLRSourceImage> source;   // told what a decode finds
    };
    using Photos = QHash<QString, Photo>;

    // A picture to decode: a photo at the size it is drawn.
    struct PictureRequest {
        QString identifier;
        QString path;
        QSize size;
        QString fileName;
        PLRFileStamp stamp;
        std::weak_ptr<PLRSourceImage> source;
        QSizeF photoSize;   // the photo's upright pixels as the layout was laid out for it
    };
    using Pictures = QHash<QString, QImage>;

    // The post's photos that the layout refers to (a reference to no photo of the post is
    // listed as not available).
    static Photos photosOf(PLRPostManager* postManager, const PLRLayout& layout);
    // The photos of the layout's image blocks that are known not to be drawable: one line per
    // photo, "name: why" ("missing from the folder", "cut short", "not a readable photo"), in
    // name order. Empty when none is. Reads each file's header; photos that no decode has judged
    // yet are left to checkUnjudgedPhotos().
    static QStringList unusablePhotos(const PLRLayout& layout, const Photos& photos);
    // Decodes (at their smallest scale, on the pool's threads) the photos no decode has judged
    // in their present version, and answers those that cannot be drawn, as unusablePhotos().
    static QStringList checkUnjudgedPhotos(const Photos& photos, QThreadPool* pool);
    static plr_export::PhotoLookup lookupFor(const Photos& photos);

    // The copy is laid out `layoutWidth` points wide.
    PLRExportRenderer(const PLRLayout& layout, double layoutWidth, Photos photos);
    ~PLRExportRenderer();
    PLRExportRenderer(const PLRExportRenderer&) = delete;
    PLRExportRenderer& operator=(const PLRExportRenderer&) = delete;

    const PLRLayout& layout() const { return *m_layout; }
    const Photos& photos() const { return m_photos; }
    PLRLayoutView* layoutView() const;
    PLRBlockView* blockView(const PLRBlock* block) const;
    QColor backgroundColour() const;

    // The pictures a block needs when it is drawn `pixelWidth` pixels wide.
    QList<PictureRequest> picturesForBlock(const PLRBlock* block, double pixelWidth) const;
    // The pictures the whole layout needs when drawn `pixelWidth` pixels wide.
    QList<PictureRequest> picturesForLayout(double pixelWidth) const;
    // Decodes the pictures (any thread; in parallel when `parallel`). A photo that cannot be
    // decoded whole is left out (logged, named in `unreadable` as "file name: why", and its
    // photo told, so that it is marked).
    static Pictures preparePictures(const QList<PictureRequest>& requests, bool parallel = false,
                                    QStringList* unreadable = nullptr);
    // One of them (any thread), `rowsDecoded` told as its rows are final (see
    // plr_image::decodePhotoAtSize()); null when it cannot be decoded whole, with "file name: why"
    // in `unreadable`. Null too (with `replaced` set, and the photo not marked) when the file has
    // other proportions than the photo the layout was laid out for: another photo was put in its
    // place, which would be drawn squeezed.
    static QImage preparePicture(const PictureRequest& request, QString* unreadable = nullptr,
                                 const plr_image::RowsDecoded& rowsDecoded = {}, bool* replaced = nullptr);

    // The pixel size of a render `pixelWidth` wide (0: the view's own width) of a view with
    // these bounds: width w, height bounds height x (w / bounds width), both truncated.
    static QSize renderSize(const QSizeF& bounds, double pixelWidth);
    // The block as its view places it, for drawBlock() (main thread); an empty tree when the
    // block has no view.
    PLRBlockDrawTree drawTree(const PLRBlock* block) const;
    // The block of the tree drawn `pixelWidth` pixels wide on the layout's background colour,
    // with the pictures; null when it has no size or is too large to draw, with the reason in
    // `why`. Reads only the tree, the layout's blocks and the photos taken when the renderer was
    // made: any thread, several blocks at once. `blank` (when it has the render's size) is the
    // picture drawn into, made beforehand with blankPicture().
    QImage drawBlock(const PLRBlockDrawTree& tree, double pixelWidth, const Pictures& pictures, QString* why = nullptr,
                     QImage blank = {}) const;
    // The same for the block's view (main thread).
    QImage renderBlock(const PLRBlock* block, double pixelWidth, const Pictures& pictures, QString* why = nullptr, QImage blank = {});
    // A picture of `size` pixels filled with the layout's background colour (any thread); null
    // when it is empty or too large to draw.
    QImage blankPicture(const QSize& size) const;

    // A block drawn as drawBlock() draws it (the same pixels), a band of rows at a time from the
    // top, while the photos it shows are still being decoded: a band is drawn once every
    // picture it shows has the rows it needs. The rows drawn are final: another thread may
    // read them while the rest is drawn. Any thread; one thread draws.
    class BandDrawing {
    public:
        // `awaited`: the photos whose pictures are to come (setPicture()); the block's other
        // photos are drawn as drawBlock() draws them without a picture.
        BandDrawing(const PLRExportRenderer& renderer, const PLRBlockDrawTree& tree, double pixelWidth,
                    const QStringList& awaited, QString* why = nullptr);
        ~BandDrawing();
        BandDrawing(const BandDrawing&) = delete;
        BandDrawing& operator=(const BandDrawing&) = delete;

        // Null when the block cannot be drawn (the reason went to `why`).
        bool isNull() const;
        QSize size() const;
        const uchar* constBits() const;
        qsizetype bytesPerLine() const;
        // A photo's picture: its top `rows` rows final (the whole picture when `rows` is its height).
        void setPicture(const QString& identifier, const QImage& picture, int rows);
        // How many of the top rows can be drawn with the pictures as they are.
        int drawableRows() const;
        int rowsDrawn() const;
        // Draws the rows below those drawn, down to `rows`.
        void drawTo(int rows);
        // Draws the rest with the pictures as they are and hands the picture back.
        QImage finish();
        // Hands the picture back as it is, drawn no further, and forgets the pictures it was
        // given (for a drawing given up: a picture whose decode failed is gone).
        QImage release();

    private:
        struct State;
        std::unique_ptr<State> m_state;
    };
    // The whole layout drawn `pixelWidth` pixels wide; null when no section has a block or the
    // render is too large, with the reason in `why`.
    QImage renderLayout(double pixelWidth, const Pictures& pictures, QString* why = nullptr);

private:
    class PhotoProvider;
    void addRequests(const PLRBlock* block, double scale, QList<PictureRequest>& requests) const;
    QImage render(const QSizeF& bounds, double pixelWidth, const std::function<void(QPainter*)>& draw, QString* why, QImage blank = {}) const;
    // renderSize(), or an empty size (logged, with the reason in `why`) when it cannot be drawn.
    static QSize drawableSize(const QSizeF& bounds, double pixelWidth, QString* why);
    // The hints every export drawing is made with.
    static void setUpPainter(QPainter& painter);

    std::unique_ptr<PLRLayout> m_layout;
    Photos m_photos;
    QColor m_background;
    PhotoProvider* m_provider = nullptr;   // owned by the manager
    std::unique_ptr<PLRLayoutManager> m_manager;
    std::unique_ptr<PLRLayoutViewProxy> m_proxy;
};
