#pragma once

// One photo of the gallery: the item (what the collection view hands out and reuses) and its
// view, which draws the thumbnail with the photo's stars, colour label, used and missing-file
// marks and the selection frame.

#include "panels/gallery/PLRGalleryIndexPath.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "platform-ui/View.h"

#include <QImage>
#include <QMetaObject>
#include <QPointer>

class PLRGalleryCollectionView;
class PLRGalleryView;
class PLRGalleryViewController;
class PLRPersistantPost;
class QAction;
class QKeyEvent;
class QMenu;

// Keys of the gallery by the codes its handlers speak in.
namespace PLRGalleryKeys {
inline constexpr int kH = 4;
inline constexpr int kSpace = 49;
inline constexpr int kDelete = 51;
inline constexpr int kLeft = 123;
inline constexpr int kRight = 124;
inline constexpr int kDown = 125;
inline constexpr int kUp = 126;
inline constexpr int kHome = 115;
inline constexpr int kPageUp = 116;
inline constexpr int kEnd = 119;
inline constexpr int kPageDown = 121;
// The code of a Qt key (Backspace and Delete both count as Delete); -1 for the others.
int codeForQtKey(int qtKey);
// Whether the key is a modifier alone (Shift, Control, ...), which is no key press of its own.
bool isModifierKey(int qtKey);
}

// A small turning arc shown while a thumbnail is being made. One shared timer turns every
// visible indicator.
class PLRGalleryLoadingIndicator : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRGalleryLoadingIndicator(QWidget* parent = nullptr);
    ~PLRGalleryLoadingIndicator() override;
    bool isFlipped() const override { return true; }
    bool isAnimating() const { return m_animating; }
    void startAnimation();
    void stopAnimation();
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
private:
    bool m_animating = false;
};

class PLRGalleryViewItem : public QObject, public PLRSourceImageDelegate {
    Q_OBJECT
public:
    static constexpr const char* kIdentifier = "PLRGalleryViewItem";

    explicit PLRGalleryViewItem(QObject* parent = nullptr);
    ~PLRGalleryViewItem() override;

    PLRGalleryView* view() const { return m_view; }

    PLRPersistantPost* post() const { return m_post; }
    void setPost(PLRPersistantPost* post) { m_post = post; }
    const PLRSourceImagePtr& image() const { return m_image; }
    // Moves the observations (used, hidden) and the cache delegate from the old photo to the
    // new one, titles the view's hide item, and asks for the thumbnail.
    void setImage(const PLRSourceImagePtr& image);
    PLRGalleryViewController* galleryViewController() const { return m_galleryViewController; }
    void setGalleryViewController(PLRGalleryViewController* controller) { m_galleryViewController = controller; }

    const QImage& previewBlob() const { return m_previewBlob; }
    bool loadingPreview() const { return m_loadingPreview; }

    bool isSelected() const { return m_selected; }
    // Marks the item and its view selected; a selected item takes the keys of the gallery.
    void setSelected(bool selected);

    // Where the collection view shows the item (set by the collection view).
    PLRGalleryIndexPath indexPath() const { return m_indexPath; }
    PLRGalleryCollectionView* collectionView() const { return m_collectionView; }

    // Asks the photo for its thumbnail: the cached one now, or a spinner until it is ready.
    void refreshImageInfo();
    // The photo's cached pictures changed (relayed to the main thread).
    void imageCacheAssetChanged(PLRSourceImage* image) override;

    // Keys and clicks of the item (see the view); what the item does not take goes to the
    // collection view.
    void keyDown(QKeyEvent* event);
    void mouseDown(const platform::ui::MouseEvent& event);

private:
    friend class PLRGalleryCollectionView;
    void stopObserving();
    void hideKeyAction();
    void deleteKeyAction();

    PLRGalleryView* m_view = nullptr;
    QPointer<PLRPersistantPost> m_post;
    PLRSourceImagePtr m_image;
    QPointer<PLRGalleryViewController> m_galleryViewController;
    QPointer<PLRGalleryCollectionView> m_collectionView;
    PLRGalleryIndexPath m_indexPath;
    QImage m_previewBlob;
    bool m_loadingPreview = false;
    bool m_selected = false;
    quint64 m_requestGeneration = 0;
    QMetaObject::Connection m_inLayoutConnection;
    QMetaObject::Connection m_hiddenConnection;
};

class PLRGalleryView : public platform::ui::View {
    Q_OBJECT
public:
    static constexpr double kStarSize = 7.0;
    static constexpr double kMissingMarkLength = 30.0;

    explicit PLRGalleryView(QWidget* parent = nullptr);
    ~PLRGalleryView() override;
    bool isFlipped() const override { return true; }

    PLRGalleryLoadingIndicator* loadingIndicator() const { return m_loadingIndicator; }
    bool useDarkContrast() const { return m_useDarkContrast; }
    void setUseDarkContrast(bool dark) { m_useDarkContrast = dark; update(); }
    bool selected() const { return m_selected; }
    void setSelected(bool selected);
    QAction* showHideMenuItem() const { return m_showHideMenuItem; }
    QAction* addToPostMenuItem() const { return m_addToPostMenuItem; }
    QAction* showInFinderMenuItem() const { return m_showInFinderMenuItem; }
    QMenu* contextMenu() const { return m_menu; }
    PLRGalleryViewItem* galleryViewItem() const { return m_galleryViewItem; }
    void setGalleryViewItem(PLRGalleryViewItem* item) { m_galleryViewItem = item; }

    // The rectangle the picture takes in the bounds (the marks are placed from it).
    QRectF referenceRect() const;

    void showHideMenuAction();
    void addToPostAction();
    void showInFinderAction();

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void rightMouseDown(const platform::ui::MouseEvent& event) override;
    // The focus ring goes round the picture while the photo has the gallery's keyboard: it tells
    // the keyboard's place from the other selected photos.
    bool drawsFocusRing() const override { return true; }
    bool isShowingFocusRing() const override;
    QRectF focusRingMaskBounds() const override { return referenceRect(); }

protected:
    void layoutSubviews() override;
    // The tool tip of the mark of a photo that cannot be used: why.
    bool event(QEvent* event) override;

private:
    // The thumbnail scaled once to the size it is drawn at.
    const QImage& scaledPicture(const QImage& picture, const QSizeF& size);

    PLRGalleryLoadingIndicator* m_loadingIndicator = nullptr;
    bool m_useDarkContrast = false;
    bool m_selected = false;
    QMenu* m_menu = nullptr;
    QAction* m_showHideMenuItem = nullptr;
    QAction* m_addToPostMenuItem = nullptr;
    QAction* m_showInFinderMenuItem = nullptr;
    QPointer<PLRGalleryViewItem> m_galleryViewItem;
    QImage m_scaled;
    qint64 m_scaledKey = 0;
    QSize m_scaledSize;
};
