#pragma once

#include <optional>
#include <utility>

#include "store/persistance-store/PLRPersistantPost.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Layer.h"
#include "shell/home/PLRCollectionView.h"

#include <QImage>
#include <QMenu>
#include <QMetaObject>
#include <QPointer>

class QAction;
class PLRRecentCollectionViewItem;

inline constexpr const char* kPLRRecentCollectionViewItemIdentifier = "PLRRecentCollectionViewItem";

// What a post tile tells the home screen.
class PLRRecentItemProtocol {
public:
    virtual ~PLRRecentItemProtocol() = default;
    virtual void itemDidRecieveClick(PLRRecentCollectionViewItem* item) = 0;
};

// The preview of a post tile: the post's page image at the tile's width, top-aligned; while
// the pointer is over the tile the image slides to show its lower end.
class PLRChooserImageView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRChooserImageView(QWidget* parent = nullptr);

    PLRRecentCollectionViewItem* item() const { return m_item; }
    void setItem(PLRRecentCollectionViewItem* item) { m_item = item; }

    const QImage& representedImage() const { return m_representedImage; }
    // An image without width or height counts as none.
    void setRepresentedImage(const QImage& image);
    bool selected() const { return m_selected; }
    void setSelected(bool selected);
    void setFrame(const QRectF& frame);
    // The pointer is over the tile (the preview shows its lower end).
    bool hovered() const { return m_hovered; }

    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void ensureLayers();
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;

    platform::ui::Layer* imageLayer() const { return m_imageLayer; }
    platform::ui::Layer* selectedLayer() const { return m_selectedLayer; }
    // The image layer's frame, top-aligned, for the view's size.
    QRectF topAlignedImageFrame() const;

protected:
    void layoutSubviews() override;

private:
    QPointer<PLRRecentCollectionViewItem> m_item;
    platform::ui::Layer* m_imageLayer = nullptr;
    platform::ui::Layer* m_selectedLayer = nullptr;
    bool m_selected = false;
    bool m_hovered = false;
    QImage m_representedImage;
};

// The view of a post tile: it reports the pointer entering and leaving the whole tile.
class PLRRecentCollectionViewItemView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRRecentCollectionViewItemView(PLRRecentCollectionViewItem* item, QWidget* parent = nullptr);
    PLRChooserImageView* chooserImageView() const { return m_chooserImageView; }
    void setChooserImageView(PLRChooserImageView* view) { m_chooserImageView = view; }

    void updateTrackingAreas() override;
    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseCancelled() override;
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    // The focus ring goes round the tile while it is the keyboard's place in the grid.
    bool drawsFocusRing() const override { return true; }
    bool isShowingFocusRing() const override;

protected:
    void layoutSubviews() override;

private:
    QPointer<PLRRecentCollectionViewItem> m_item;
    QPointer<PLRChooserImageView> m_chooserImageView;
    int m_downClickCount = 0;
};

// A post tile: preview, title (renamed in place), published mark and an option menu with
// duplicate, export, delete, rename and unpublish.
class PLRRecentCollectionViewItem : public PLRCollectionViewItem {
    Q_OBJECT
public:
    explicit PLRRecentCollectionViewItem(QObject* parent = nullptr);
    ~PLRRecentCollectionViewItem() override;

    PLRPersistantPost* representedPost() const { return m_post; }
    void setRepresentedPost(PLRPersistantPost* post);
    PLRRecentItemProtocol* delegate() const { return m_delegate; }
    void setDelegate(PLRRecentItemProtocol* delegate) { m_delegate = delegate; }

    // Whether the post counts as published: it has a non-empty remote identifier.
    static bool isPublished(const PLRPersistantPost* post);

    void setSelected(bool selected) override;
    void prepareForReuse() override;
    // Shows the post's preview (or "empty-post").
    void ensurePreview();

    // Actions.
    void showOptionMenu(QWidget* sender);
    void menuDuplicatePost();
    void menuExportPost();
    void menuDeletePost();
    void menuRenamePost();
    void menuDeleteRemotePost();
    void userDidFinishRenamingPost();
    void menuDidClose();
    // The tile's view forwards its clicks here.
    void mouseUp(const platform::ui::MouseEvent& event, int clickCount);

    // Outlets.
    PLRRecentCollectionViewItemView* itemView() const { return m_itemView; }
    PLRChooserImageView* imageContainerView() const { return m_imageContainerView; }
    platform::ui::Button* infoButton() const { return m_openMenuButton; }
    platform::ui::Button* openMenuButton() const { return m_openMenuButton; }
    QMenu* optionMenu() const { return m_optionMenu; }
    QAction* duplicateMenuItem() const { return m_duplicateItem; }
    QAction* exportMenuItem() const { return m_exportItem; }
    QAction* deleteMenuItem() const { return m_deleteItem; }
    QAction* renameMenuItem() const { return m_renameItem; }
    QAction* deletePublishedMenuItem() const { return m_deletePublishedItem; }
    platform::ui::TextField* titleRenameField() const { return m_titleRenameField; }
    platform::ui::ImageView* publishedImageView() const { return m_publishedImageView; }
    platform::ui::TextField* publishedStatusLabel() const { return m_publishedStatusLabel; }
    platform::ui::Box* borderBox() const { return m_borderBox; }
    platform::ui::TextField* titleLabel() const { return m_titleLabel; }
    // The full title (the label may show it shortened).
    QString titleText() const { return m_titleText; }
    void setTitleText(const QString& title);
    // The image the info button shows ("open-tile-menu" or "open-tile-menu-pressed").
    QString infoButtonImageName() const { return m_infoImageName; }
    void setInfoButtonImageName(const QString& name);

private:
    void ensurePublishedState();
    int previewPixelWidth() const;

    QPointer<PLRPersistantPost> m_post;
    QMetaObject::Connection m_previewConnection;
    QMetaObject::Connection m_remoteConnection;
    QMetaObject::Connection m_nameConnection;
    PLRRecentItemProtocol* m_delegate = nullptr;

    PLRRecentCollectionViewItemView* m_itemView;
    PLRChooserImageView* m_imageContainerView;
    platform::ui::Button* m_openMenuButton;
    platform::ui::TextField* m_titleRenameField;
    platform::ui::ImageView* m_publishedImageView;
    platform::ui::TextField* m_publishedStatusLabel;
    platform::ui::Box* m_borderBox;
    platform::ui::TextField* m_titleLabel;
    QPointer<QMenu> m_optionMenu;
    QAction* m_duplicateItem;
    QAction* m_exportItem;
    QAction* m_deleteItem;
    QAction* m_renameItem;
    QAction* m_deletePublishedItem;
    QString m_titleText;
    QString m_infoImageName;
    // What the tile shows now, so that setting the same again redraws nothing.
    std::optional<std::pair<QString, double>> m_shownTitle;   // title and the width it was shortened to
    std::optional<bool> m_shownPublished;
    QPointer<PLRPersistantPost> m_previewPost;   // whose picture (not the placeholder) is shown
};
