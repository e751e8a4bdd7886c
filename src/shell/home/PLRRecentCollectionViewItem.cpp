#include "shell/home/PLRRecentCollectionViewItem.h"

#include "controls/ColorWithHex.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Alert.h"
#include "platform/Log.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRUserSession.h"
#include "shell/home/PLRPostThumbnails.h"
#include "shell/home/PLRShellHooks.h"
#include "shell/home/PLRShellImages.h"

#include <QAction>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMenu>

#include <cmath>

using namespace platform::ui;

namespace {
constexpr double kFooterHeight = 66.0;

// The tile's menu button: its image follows the pointer.
class TileMenuButton : public Button {
public:
    TileMenuButton(PLRRecentCollectionViewItem* item, QWidget* parent) : Button(parent), m_item(item) {}
    void updateTrackingAreas() override
    {
        while (!trackingAreas().empty())
            removeTrackingArea(trackingAreas().front().get());
        addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingActiveAlways);
    }
    void mouseEntered(const MouseEvent&) override
    {
        if (m_item)
            m_item->setInfoButtonImageName(QStringLiteral("open-tile-menu-pressed"));
    }
    void mouseExited(const MouseEvent&) override
    {
        if (m_item && !(m_item->optionMenu() && m_item->optionMenu()->isVisible()))
            m_item->setInfoButtonImageName(QStringLiteral("open-tile-menu"));
    }
private:
    QPointer<PLRRecentCollectionViewItem> m_item;
};

Color borderColour(bool highlighted)
{
    return namedColor(QString::fromLatin1(highlighted ? "plrPostTileBorderColorSelected" : "plrPostTileBorderColor"));
}
} // namespace

// --- Preview ----------------------------------------------------------------------------------

// The tiles' views are drawn as the grid reloads or scrolls: kept on the painting thread (see
// View::paintsInBands).
PLRChooserImageView::PLRChooserImageView(QWidget* parent) : View(parent)
{
    setPaintsInBands(true);
}

void PLRChooserImageView::ensureLayers()
{
    if (m_imageLayer)
        return;
    setWantsLayer(true);
    Layer* root = layer();
    root->setMasksToBounds(true);
    root->setCornerRadius(1.0);
    auto image = std::make_unique<Layer>();
    image->setFrame(bounds());
    auto selected = std::make_unique<Layer>();
    selected->setFrame(bounds());
    selected->setAutoresizingMask(LayerWidthSizable | LayerHeightSizable);
    selected->setBorderColor(ColorWithHex::smb_blueColour());
    selected->setBorderWidth(3.0);
    selected->setOpacity(0.0);
    {
        TransactionScope scope(true);
        m_imageLayer = root->addSublayer(std::move(image));
        m_selectedLayer = root->addSublayer(std::move(selected));
    }
}

QRectF PLRChooserImageView::topAlignedImageFrame() const
{
    const QImage& image = m_representedImage;
    const double w = width();
    const double h = height();
    if (image.isNull())
        return QRectF(0, 0, w, h);
    const QSizeF size = pointSize(image);
    const double imageHeight = size.height() * w / size.width();
    return QRectF(0, h - imageHeight, w, imageHeight).toAlignedRect();
}

void PLRChooserImageView::setRepresentedImage(const QImage& image)
{
    TransactionScope scope(true);
    m_representedImage = (image.isNull() || image.width() <= 0 || image.height() <= 0) ? QImage() : image;
    ensureLayers();
    QRectF frame = topAlignedImageFrame();
    if (m_hovered)
        frame.moveTop(0);
    m_imageLayer->setFrame(frame);
    m_imageLayer->setContents(m_representedImage);
}

void PLRChooserImageView::setFrame(const QRectF& frame)
{
    View::setFrame(frame);
    layoutSubviews();
}

void PLRChooserImageView::layoutSubviews()
{
    if (!m_imageLayer)
        return;
    Transaction::begin();
    Transaction::setAnimationDuration(0.0);
    Transaction::setDisableActions(true);
    QRectF frame = topAlignedImageFrame();
    if (m_hovered)
        frame.moveTop(0);
    m_imageLayer->setFrame(frame);
    m_selectedLayer->setFrame(QRectF(0, 0, width(), height()));
    Transaction::commit();
}

void PLRChooserImageView::mouseEntered(const MouseEvent&)
{
    ensureLayers();
    m_hovered = true;
    QRectF frame = m_imageLayer->frame();
    frame.moveTop(0);
    m_imageLayer->setFrame(frame);   // slides with the implicit animation
    if (m_item) {
        m_item->borderBox()->setBorderColor(borderColour(true));
        m_item->titleLabel()->setTextColor(borderColour(true));
    }
}

void PLRChooserImageView::mouseExited(const MouseEvent&)
{
    ensureLayers();
    m_hovered = false;
    QRectF frame = m_imageLayer->frame();
    frame.moveTop(height() - frame.height());
    m_imageLayer->setFrame(frame);
    if (m_item) {
        m_item->borderBox()->setBorderColor(borderColour(false));
        m_item->titleLabel()->setTextColor(namedColor(QStringLiteral("plrTextColor")));
    }
}

void PLRChooserImageView::setSelected(bool selected)
{
    m_selected = selected;
    ensureLayers();
    TransactionScope scope(true);
    m_selectedLayer->setOpacity(selected ? 1.0 : 0.0);
}

void PLRChooserImageView::drawRect(GraphicsContext& context, const QRectF&)
{
    // Inside a tile the tile's own white lies beneath already: no second fill of the whole area.
    if (m_item)
        return;
    context.fillRect(bounds(), Color::white());
}

// --- Tile view --------------------------------------------------------------------------------

PLRRecentCollectionViewItemView::PLRRecentCollectionViewItemView(PLRRecentCollectionViewItem* item, QWidget* parent)
    : View(parent), m_item(item)
{
    setPaintsInBands(true);
}

void PLRRecentCollectionViewItemView::updateTrackingAreas()
{
    while (!trackingAreas().empty())
        removeTrackingArea(trackingAreas().front().get());
    addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingMouseMoved | TrackingActiveAlways);
}

void PLRRecentCollectionViewItemView::mouseEntered(const MouseEvent& event)
{
    if (m_chooserImageView)
        m_chooserImageView->mouseEntered(event);
}

void PLRRecentCollectionViewItemView::mouseExited(const MouseEvent& event)
{
    if (m_chooserImageView)
        m_chooserImageView->mouseExited(event);
}

void PLRRecentCollectionViewItemView::mouseDown(const MouseEvent& event)
{
    m_downClickCount = event.clickCount;
    if (m_item && m_item->collectionView() && m_item->index() >= 0)
        m_item->collectionView()->selectItem(m_item->index());
}

void PLRRecentCollectionViewItemView::mouseUp(const MouseEvent& event)
{
    // The release of a double click reports one click: the press tells how many there were.
    const int clicks = std::max<int>(event.clickCount, m_downClickCount);
    m_downClickCount = 0;
    if (m_item)
        m_item->mouseUp(event, clicks);
}

void PLRRecentCollectionViewItemView::mouseCancelled() { m_downClickCount = 0; }

void PLRRecentCollectionViewItemView::drawRect(GraphicsContext& context, const QRectF&)
{
    context.fillRect(bounds(), Color::white());
}

bool PLRRecentCollectionViewItemView::isShowingFocusRing() const
{
    const PLRCollectionView* collection = PLRCollectionView::enclosing(this);
    return collection && collection->isKeyboardPlace(this) && isVisible() && isEnabled();
}

void PLRRecentCollectionViewItemView::layoutSubviews()
{
    if (!m_item)
        return;
    const double w = width();
    const double h = height();
    m_item->borderBox()->setFrame(QRectF(0, 0, w, h));
    m_item->imageContainerView()->setFrame(QRectF(1, kFooterHeight, std::max(0.0, w - 2), std::max(0.0, h - kFooterHeight - 1)));
    const QRectF titleFrame(10, 34, std::max(0.0, w - 48), 20);
    m_item->titleLabel()->setFrame(titleFrame);
    m_item->titleRenameField()->setFrame(titleFrame.adjusted(-3, -3, 3, 3));
    m_item->publishedImageView()->setFrame(QRectF(11, 13, 10, 14));
    m_item->publishedStatusLabel()->setFrame(QRectF(24, 12, std::max(0.0, w - 60), 16));
    m_item->openMenuButton()->setFrame(QRectF(w - 34, 22, 24, 24));
    m_item->setTitleText(m_item->titleText());   // shortened again for the new width
}

// --- Tile -------------------------------------------------------------------------------------

PLRRecentCollectionViewItem::PLRRecentCollectionViewItem(QObject* parent) : PLRCollectionViewItem(parent)
{
    m_itemView = new PLRRecentCollectionViewItemView(this);
    setView(m_itemView);
    m_borderBox = new Box(m_itemView);
    m_borderBox->setPaintsInBands(true);
    m_borderBox->setBorderColor(borderColour(false));
    m_borderBox->setBorderWidth(1.0);
    m_borderBox->setCornerRadius(3.0);
    m_imageContainerView = new PLRChooserImageView(m_itemView);
    m_imageContainerView->setItem(this);
    m_itemView->setChooserImageView(m_imageContainerView);

    m_titleLabel = new TextField(m_itemView);
    m_titleLabel->setFont(systemFont(13, FontWeight::Medium));
    m_titleLabel->setTextColor(namedColor(QStringLiteral("plrTextColor")));
    m_titleLabel->setWantsLayer(true);
    m_titleLabel->layer()->setCornerRadius(3.0);

    m_titleRenameField = new TextField(m_itemView);
    m_titleRenameField->setEditable(true);
    m_titleRenameField->setDrawsBackground(true);
    m_titleRenameField->setFont(systemFont(13, FontWeight::Medium));
    m_titleRenameField->setHidden(true);
    QObject::connect(m_titleRenameField->editor(), &QLineEdit::returnPressed, this, [this] { userDidFinishRenamingPost(); });

    m_publishedImageView = new ImageView(m_itemView);
    m_publishedStatusLabel = new TextField(m_itemView);
    m_publishedStatusLabel->setFont(systemFont(11));
    m_publishedStatusLabel->setTextColor(Color(0.45, 0.45, 0.45));

    m_openMenuButton = new TileMenuButton(this, m_itemView);
    // Out of the Tab chain: the keyboard reaches the tiles through the grid (arrows), and the
    // selected tile's menu through the Menu key or Shift+F10.
    m_openMenuButton->setFocusPolicy(Qt::NoFocus);
    m_openMenuButton->setBordered(false);
    m_openMenuButton->setImageScaling(ImageScaling::ProportionallyDown);
    m_openMenuButton->setAction([this](Control* sender) { showOptionMenu(sender); });
    setInfoButtonImageName(QStringLiteral("open-tile-menu"));

    m_optionMenu = new QMenu(m_itemView);
    m_duplicateItem = m_optionMenu->addAction(QStringLiteral("Duplicate"), this, [this] { menuDuplicatePost(); });
    m_exportItem = m_optionMenu->addAction(QStringLiteral("Export Post File..."), this, [this] { menuExportPost(); });
    m_renameItem = m_optionMenu->addAction(QStringLiteral("Rename"), this, [this] { menuRenamePost(); });
    m_optionMenu->addSeparator();
    m_deletePublishedItem = m_optionMenu->addAction(QStringLiteral("Unpublish"), this, [this] { menuDeleteRemotePost(); });
    m_deleteItem = m_optionMenu->addAction(QStringLiteral("Delete"), this, [this] { menuDeletePost(); });
    QObject::connect(m_optionMenu, &QMenu::aboutToHide, this, [this] { menuDidClose(); });

    QObject::connect(&PLRPostThumbnails::shared(), &PLRPostThumbnails::thumbnailReady, this, [this](const QString& identifier) {
        if (m_post && m_post->identifier() == identifier)
            ensurePreview();
    });

    m_itemView->resize(250, 428);
    setRepresentedPost(nullptr);
}

PLRRecentCollectionViewItem::~PLRRecentCollectionViewItem()
{
    QObject::disconnect(m_previewConnection);
    QObject::disconnect(m_remoteConnection);
    QObject::disconnect(m_nameConnection);
    if (m_optionMenu)
        m_optionMenu->disconnect(this);
}

bool PLRRecentCollectionViewItem::isPublished(const PLRPersistantPost* post)
{
    return post && !post->remoteIdentifier().isEmpty();
}

void PLRRecentCollectionViewItem::setInfoButtonImageName(const QString& name)
{
    m_infoImageName = name;
    m_openMenuButton->setImage(PLRShellImages::image(name));
}

void PLRRecentCollectionViewItem::setTitleText(const QString& title)
{
    m_titleText = title;
    // One line: a long name is shortened in the middle of the label, never wrapped.
    const double available = std::max(0.0, m_titleLabel->width() - 2 * TextField::kTextInset - 2);
    // The label is only set again (and so redrawn) when what it shows changes.
    if (m_shownTitle && m_shownTitle->first == title && m_shownTitle->second == available)
        return;
    m_shownTitle = std::make_pair(title, available);
    const QFontMetricsF metrics(m_titleLabel->font());
    QString shown = title;
    shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
    m_titleLabel->setStringValue(metrics.elidedText(shown, Qt::ElideMiddle, available));
    m_titleLabel->setToolTip(title);
}

void PLRRecentCollectionViewItem::setRepresentedPost(PLRPersistantPost* post)
{
    QObject::disconnect(m_previewConnection);
    QObject::disconnect(m_remoteConnection);
    QObject::disconnect(m_nameConnection);
    m_post = post;
    if (post) {
        m_previewConnection = QObject::connect(post, &PLRPersistantPost::layoutPreviewChanged, this, [this] { ensurePreview(); });
        m_remoteConnection = QObject::connect(post, &PLRPersistantPost::remoteIdentifierChanged, this, [this] { ensurePublishedState(); });
        m_nameConnection = QObject::connect(post, &PLRPersistantPost::nameChanged, this, [this] {
            if (m_post)
                setTitleText(m_post->name());
        });
    }
    setTitleText(post ? post->name() : QStringLiteral("New Blog Post"));
    ensurePublishedState();
    ensurePreview();
}

void PLRRecentCollectionViewItem::ensurePublishedState()
{
    const bool published = isPublished(m_post);
    if (m_shownPublished == published)
        return;
    m_shownPublished = published;
    m_deletePublishedItem->setVisible(published);
    m_deletePublishedItem->setEnabled(published);
    m_publishedImageView->setImage(PLRShellImages::image(QString::fromLatin1(published ? "bolt-green" : "bolt-grey")));
    m_publishedStatusLabel->setStringValue(QString::fromLatin1(published ? "Published" : "Not Published"));
}

int PLRRecentCollectionViewItem::previewPixelWidth() const
{
    const double scale = std::clamp(m_itemView->devicePixelRatioF(), 1.0, 2.0);
    // The tile's own width in pixels: the preview is then drawn as it is, never scaled while
    // drawing (the tiles of a grid have one width, so they share the decoded copies).
    return int(std::ceil(std::max(100.0, double(m_imageContainerView->width())) * scale));
}

void PLRRecentCollectionViewItem::ensurePreview()
{
    QImage preview;
    bool known = true;
    if (m_post) {
        preview = PLRPostThumbnails::shared().thumbnail(m_post, previewPixelWidth(), &known);
    }
    // While the picture at a new width (the window was resized) is on its way, the post's
    // picture at the old width stays.
    if (preview.isNull() && !known && m_post && m_previewPost == m_post)
        return;
    m_previewPost = preview.isNull() ? nullptr : m_post.data();
    if (preview.isNull())
        preview = PLRShellImages::image(QStringLiteral("empty-post"));
    // The same picture (a tile handed back in place as the list reloads) is not set again.
    if (m_imageContainerView->representedImage().cacheKey() == preview.cacheKey())
        return;
    m_imageContainerView->setRepresentedImage(preview);
}

void PLRRecentCollectionViewItem::setSelected(bool selected)
{
    PLRCollectionViewItem::setSelected(selected);
    const Color colour = borderColour(selected);
    if (m_borderBox->borderColor() != colour)
        m_borderBox->setBorderColor(colour);
}

void PLRRecentCollectionViewItem::prepareForReuse()
{
    m_titleRenameField->setHidden(true);
    m_titleLabel->setHidden(false);
    // The post is let go; what the tile shows changes when it is given its next post (only
    // where that one differs), so a tile that shows the same post again is not redrawn.
    QObject::disconnect(m_previewConnection);
    QObject::disconnect(m_remoteConnection);
    QObject::disconnect(m_nameConnection);
    m_post = nullptr;
}

void PLRRecentCollectionViewItem::mouseUp(const MouseEvent&, int clickCount)
{
    if (clickCount == 1 && m_delegate)
        m_delegate->itemDidRecieveClick(this);
}

void PLRRecentCollectionViewItem::showOptionMenu(QWidget* sender)
{
    m_deletePublishedItem->setVisible(isPublished(m_post));
    m_exportItem->setEnabled(PLRShellHooks::canExportPosts());
    setInfoButtonImageName(QStringLiteral("open-tile-menu-pressed"));
    QWidget* anchor = sender ? sender : m_openMenuButton;
    m_optionMenu->popup(anchor->mapToGlobal(QPoint(0, anchor->height())));
}

void PLRRecentCollectionViewItem::menuDidClose()
{
    setInfoButtonImageName(QStringLiteral("open-tile-menu"));
}

void PLRRecentCollectionViewItem::menuDuplicatePost()
{
    PLR_LOG_INFO(QStringLiteral("duplicating a post."));
    PLRUserSession* session = PLRCoreManager::userSession();
    if (!m_post || !session)
        return;
    platform::Error error;
    if (!session->duplicatePost(m_post, &error)) {
        platform::Alert alert;
        alert.messageText = error.isValid() ? error.localizedDescription() : QStringLiteral("The post could not be duplicated.");
        alert.informativeText = error.localizedFailureReason();
        alert.buttons = {QStringLiteral("OK")};
        platform::runAlert(alert, m_itemView->window());
    }
}

void PLRRecentCollectionViewItem::menuExportPost()
{
    if (m_post && PLRShellHooks::canExportPosts())
        PLRShellHooks::exportPost(m_post);
}

void PLRRecentCollectionViewItem::menuDeletePost()
{
    PLRUserSession* session = PLRCoreManager::userSession();
    if (!m_post || !session)
        return;
    QPointer<PLRPersistantPost> post = m_post;
    const bool published = isPublished(post);
    platform::Alert alert;
    alert.style = platform::AlertStyle::Warning;
    alert.messageText = QStringLiteral("Delete Blog?");
    if (published) {
        alert.informativeText = QStringLiteral(
            "Are you sure you want to delete this blog? If you have this post live on your website, deleting the post will "
            "remove it from this computer and also take the post offline from your website.");
        alert.buttons = {QStringLiteral("Yes, Un-publish and Delete"), QStringLiteral("No, don't delete")};
    } else {
        alert.informativeText = QStringLiteral("Are you sure you want to delete this blog?");
        alert.buttons = {QStringLiteral("Yes"), QStringLiteral("No")};
    }
    // The post by its name, so that the question cannot be read as about another one.
    if (!post->name().trimmed().isEmpty())
        alert.informativeText += QStringLiteral("\n\n\u201C%1\u201D").arg(post->name().trimmed());
    alert.destructive = true;
    const platform::AlertResult result = platform::runAlert(alert, m_itemView->window());
    if (result.response != platform::kAlertFirstButtonReturn || !post || PLRCoreManager::userSession() != session)
        return;
    // Once the post is gone, whatever still holds an editor of it lets it go.
    const QString identifier = post->identifier();
    QObject::connect(post, &QObject::destroyed, [identifier] { PLRShellHooks::postWasDeleted(identifier); });
    session->deletePost(post);
}

void PLRRecentCollectionViewItem::menuDeleteRemotePost()
{
    PLRUserSession* session = PLRCoreManager::userSession();
    if (!m_post || !session)
        return;
    QPointer<PLRPersistantPost> post = m_post;
    platform::Alert alert;
    alert.style = platform::AlertStyle::Warning;
    alert.messageText = QStringLiteral("Unpublished Post?");
    alert.informativeText = QStringLiteral("Are you sure you want to unpublish this post? Doing so will take the post offline "
                                           "and it will no longer be accessible via your website.");
    alert.destructive = true;
    alert.buttons = {QStringLiteral("Yes, unpublish this blog"), QStringLiteral("No, don't unpublish")};
    const platform::AlertResult result = platform::runAlert(alert, m_itemView->window());
    if (result.response == platform::kAlertFirstButtonReturn && post && PLRCoreManager::userSession() == session)
        session->deleteRemotePost(post);
}

void PLRRecentCollectionViewItem::menuRenamePost()
{
    if (!m_post)
        return;
    m_titleLabel->setHidden(true);
    m_titleRenameField->setStringValue(m_titleText);
    m_titleRenameField->setHidden(false);
    if (QWidget* window = m_itemView->window())
        window->activateWindow();
    m_titleRenameField->editor()->setFocus(Qt::OtherFocusReason);
    m_titleRenameField->editor()->selectAll();
}

void PLRRecentCollectionViewItem::userDidFinishRenamingPost()
{
    const QString text = m_titleRenameField->stringValue();
    // An empty name (or one of blanks only) changes nothing: the field stays open.
    if (text.trimmed().isEmpty())
        return;
    m_titleLabel->setHidden(false);
    m_titleRenameField->setHidden(true);
    setTitleText(text);
    if (m_post)
        m_post->setName(text);
}
