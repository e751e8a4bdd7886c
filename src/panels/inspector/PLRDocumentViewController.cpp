#include "panels/inspector/PLRDocumentViewController.h"
#include "platform/Clock.h"

#include "layout/base/PLRLayoutManager.h"
#include "controls/ColorWithHex.h"
#include "controls/PLRColorWell.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRSmallViews.h"
#include "controls/PLRSpinner.h"
#include "controls/PLRStepperCell.h"
#include "controls/PLRSwitchButton.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Storyboard.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRGenericPostViewController.h"
#include "shell/PLRShellNotifications.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

using namespace platform::ui;
using plr::insp::caption;
using plr::insp::editableField;
using plr::insp::row;

namespace {

// A page: a white view holding a scroll area whose content is a column.
View* makePage(const QString& identifier, QVBoxLayout** column)
{
    auto* page = new View;
    page->setIdentifier(identifier);
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    QWidget* content = plr::insp::pageContent(column, identifier + QStringLiteral("Content"));
    outer->addWidget(plr::insp::scrolled(content, page));
    return page;
}

QWidget* box(QWidget* parent, QVBoxLayout** column)
{
    auto* holder = new QWidget(parent);
    *column = new QVBoxLayout(holder);
    (*column)->setContentsMargins(0, 0, 0, 0);
    (*column)->setSpacing(6);
    return holder;
}

} // namespace

PLRDocumentViewController::PLRDocumentViewController(QObject* parent) : PLRViewController(parent) {}

PLRDocumentViewController::~PLRDocumentViewController()
{
    forgetLayoutManager();
    if (m_publishPanel && m_publishPanelLifetime)
        m_publishPanel->setDocumentViewController(nullptr);
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    delete m_settingsView;
}

PLRPostManager* PLRDocumentViewController::postManager() const
{
    return m_layoutManager ? m_layoutManager->postManager() : nullptr;
}

PLRLayout* PLRDocumentViewController::layout() const
{
    return m_layoutManager ? m_layoutManager->representedLayout() : nullptr;
}

void PLRDocumentViewController::announce()
{
    if (m_layoutManager)
        m_layoutManager->announceChange();
}

// ---------------------------------------------------------------- views

View* PLRDocumentViewController::loadView()
{
    QVBoxLayout* column = nullptr;
    View* page = makePage(QStringLiteral("PLRDocumentViewController"), &column);
    QWidget* content = column->parentWidget();

    m_imagesUsedLabel = caption(QString(), content);
    m_imagesUsedLabel->setIdentifier(QStringLiteral("imagesUsedLabel"));
    column->addWidget(m_imagesUsedLabel);
    column->addWidget(plr::insp::separator(content));

    column->addWidget(caption(QStringLiteral("Layout"), content, true));
    // Padding: a field and a stepper.
    auto* paddingHolder = new QWidget(content);
    auto* paddingRow = new QHBoxLayout(paddingHolder);
    // Room for the field's and the stepper's focus rings.
    const int ring = int(std::ceil(View::kFocusRingWidth));
    paddingRow->setContentsMargins(ring, ring, ring, ring);
    paddingRow->setSpacing(4);
    m_paddingTextField = editableField(paddingHolder);
    m_paddingTextField->setIdentifier(QStringLiteral("paddingTextField"));
    m_paddingStepper = new PLRStepper(paddingHolder);
    m_paddingStepper->setFixedSize(19, 30);
    m_paddingStepper->setMinValue(0);
    m_paddingStepper->setMaxValue(200);
    paddingRow->addWidget(m_paddingTextField, 1);
    paddingRow->addWidget(m_paddingStepper);
    column->addLayout(row(QStringLiteral("Padding"), paddingHolder, content));
    connect(m_paddingTextField->editor(), &QLineEdit::editingFinished, this, [this] { setPaddingAction(); });
    m_paddingStepper->setTarget(this);
    m_paddingStepper->setAction([this](Control*) { setPaddingStepperAction(); });

    m_bgColorWell = new PLRColorWell(content);
    m_bgColorWell->setFixedSize(44, 22);
    m_bgColorWell->setTarget(this);
    m_bgColorWell->setAction([this](Control*) { setBackgroundColour(); });
    column->addLayout(row(QStringLiteral("Background"), m_bgColorWell, content));

    m_enableLightboxSwitch = plr::insp::switchButton(content);
    m_enableLightboxSwitch->setTarget(this);
    m_enableLightboxSwitch->setAction([this](Control*) { toggleLightbox(); });
    column->addLayout(row(QStringLiteral("Lightbox"), m_enableLightboxSwitch, content));

    m_enableLayoutAnimationSwitch = plr::insp::switchButton(content);
    m_enableLayoutAnimationSwitch->setTarget(this);
    m_enableLayoutAnimationSwitch->setAction([this](Control*) { toggleAnimation(); });
    column->addLayout(row(QStringLiteral("Animation"), m_enableLayoutAnimationSwitch, content));
    QVBoxLayout* animationColumn = nullptr;
    m_animationView = box(content, &animationColumn);
    m_layoutAnimationTypeButton = plr::insp::popupButton(m_animationView, {{QStringLiteral("Fade and move in"), 0},
                                                              {QStringLiteral("Fade only"), 1},
                                                              {QStringLiteral("Move in only"), 2}});
    m_layoutAnimationTypeButton->setTarget(this);
    m_layoutAnimationTypeButton->setAction([this](Control*) { setAnimationType(); });
    m_layoutAnimationSpeedPopupButton = plr::insp::popupButton(m_animationView, {{QStringLiteral("Slow"), 0},
                                                                    {QStringLiteral("Medium"), 1},
                                                                    {QStringLiteral("Fast"), 2}});
    m_layoutAnimationSpeedPopupButton->setTarget(this);
    m_layoutAnimationSpeedPopupButton->setAction([this](Control*) { setAnimationSpeed(); });
    animationColumn->addLayout(row(QStringLiteral("Type"), m_layoutAnimationTypeButton, m_animationView, plr::insp::kOptionCaptionWidth));
    animationColumn->addLayout(row(QStringLiteral("Speed"), m_layoutAnimationSpeedPopupButton, m_animationView, plr::insp::kOptionCaptionWidth));
    column->addWidget(m_animationView);

    m_enableImageKeywordsOverlaySwitch = plr::insp::switchButton(content);
    m_enableImageKeywordsOverlaySwitch->setTarget(this);
    m_enableImageKeywordsOverlaySwitch->setAction([this](Control*) { toggleImageKeywordsOverlay(); });
    column->addLayout(row(QStringLiteral("Show keywords"), m_enableImageKeywordsOverlaySwitch, content));

    column->addWidget(plr::insp::separator(content));
    column->addWidget(caption(QStringLiteral("Sharing"), content, true));
    m_includePinterestToggleSwitch = plr::insp::switchButton(content);
    m_includePinterestToggleSwitch->setTarget(this);
    m_includePinterestToggleSwitch->setAction([this](Control*) { togglePinterestButtons(); });
    column->addLayout(row(QStringLiteral("Pinterest"), m_includePinterestToggleSwitch, content));
    QVBoxLayout* pinterestColumn = nullptr;
    m_socialPluginView = box(content, &pinterestColumn);
    m_pinterestContainerView = m_socialPluginView;
    m_pinterestButtonSizePopUpButton = plr::insp::popupButton(m_socialPluginView, {{QStringLiteral("Small"), 0}, {QStringLiteral("Large"), 1}});
    m_pinterestButtonSizePopUpButton->setTarget(this);
    m_pinterestButtonSizePopUpButton->setAction([this](Control*) { setPinterestButtonSize(); });
    m_pinterestButtonPositionPopUpButton = plr::insp::popupButton(m_socialPluginView, {{QStringLiteral("Top left"), 0},
                                                                          {QStringLiteral("Top right"), 1},
                                                                          {QStringLiteral("Bottom left"), 2},
                                                                          {QStringLiteral("Bottom right"), 3}});
    m_pinterestButtonPositionPopUpButton->setTarget(this);
    m_pinterestButtonPositionPopUpButton->setAction([this](Control*) { setPinterestButtonPosition(); });
    pinterestColumn->addLayout(row(QStringLiteral("Size"), m_pinterestButtonSizePopUpButton, m_socialPluginView, plr::insp::kOptionCaptionWidth));
    pinterestColumn->addLayout(row(QStringLiteral("Position"), m_pinterestButtonPositionPopUpButton, m_socialPluginView, plr::insp::kOptionCaptionWidth));
    column->addWidget(m_socialPluginView);

    m_includeFacebookSwitch = plr::insp::switchButton(content);
    m_includeFacebookSwitch->setTarget(this);
    m_includeFacebookSwitch->setAction([this](Control*) { toggleFacebookComments(); });
    column->addLayout(row(QStringLiteral("Facebook"), m_includeFacebookSwitch, content));
    QVBoxLayout* facebookColumn = nullptr;
    m_facebookCommentsView = box(content, &facebookColumn);
    m_facebookContainerView = m_facebookCommentsView;
    m_facebookPostURLTextField = editableField(m_facebookCommentsView);
    m_facebookPostURLTextField->setPlaceholderString(QStringLiteral("Post address"));
    m_facebookAccountIdTextField = editableField(m_facebookCommentsView);
    m_facebookAccountIdTextField->setPlaceholderString(QStringLiteral("Facebook app id"));
    connect(m_facebookPostURLTextField->editor(), &QLineEdit::textEdited, this, [this] { setFacebookPostURL(); });
    connect(m_facebookAccountIdTextField->editor(), &QLineEdit::textEdited, this, [this] { setFacebookAccountId(); });
    facebookColumn->addLayout(row(QStringLiteral("Post address"), m_facebookPostURLTextField, m_facebookCommentsView));
    facebookColumn->addLayout(row(QStringLiteral("App id"), m_facebookAccountIdTextField, m_facebookCommentsView));
    column->addWidget(m_facebookCommentsView);
    column->addStretch(1);

    buildSettingsView();
    return page;
}

void PLRDocumentViewController::buildSettingsView()
{
    QVBoxLayout* column = nullptr;
    m_settingsView = makePage(QStringLiteral("PLRDocumentSettingsView"), &column);
    QWidget* content = column->parentWidget();

    // The publish-state area: hidden until a publish panel drives it.
    auto* publishArea = new QWidget(content);
    publishArea->setObjectName(QStringLiteral("topLevelPublishView"));
    m_topLevelPublishView = publishArea;
    auto* publishStack = new QVBoxLayout(publishArea);
    publishStack->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QWidget(publishArea);
    m_scrollView = scroll;
    auto* publishColumn = new QVBoxLayout(scroll);
    publishColumn->setContentsMargins(0, 0, 0, 0);
    publishColumn->setSpacing(6);
    publishStack->addWidget(scroll);

    m_publishedView = new InspectorBGView(scroll);
    m_publishedView->setMinimumHeight(36);
    auto* statusRow = new QHBoxLayout(m_publishedView);
    // (The right margin is the publish link's focus ring's room.)
    const int ring = int(std::ceil(View::kFocusRingWidth));
    statusRow->setContentsMargins(0, 4, ring, 6);
    m_publishedStatusIconView = new ImageView(m_publishedView);
    m_publishedStatusIconView->setFixedSize(16, 16);
    m_publishedStatusText = caption(QString(), m_publishedView);
    m_uploadingSpinner = new PLRSpinner(QRectF(0, 0, 18, 18), m_publishedView);
    m_uploadingSpinner->setFixedSize(18, 18);
    m_uploadingSpinner->setHidden(true);
    // The publish-state button is a link: its title in the link colour, a pointing hand over it.
    m_publishButton = new Pellora_Publish::PLRLinkButton(m_publishedView);
    m_publishButton->setTitle(QStringLiteral("Publish"));
    m_publishButton->setNeedsDisplay();
    m_publishButton->setFont(systemFont(12));
    m_publishButton->setTarget(this);
    m_publishButton->setAction([this](Control*) { publish(); });
    m_publishButton->setIdentifier(QStringLiteral("publishButton"));
    m_publishButton->setFixedSize(m_publishButton->sizeHint().width(), 22);
    m_publishButton->awakeFromNib();
    // While uploading the spinner takes the status icon's place, left of the status text.
    statusRow->addWidget(m_publishedStatusIconView);
    statusRow->addWidget(m_uploadingSpinner);
    statusRow->addWidget(m_publishedStatusText, 1);
    statusRow->addWidget(m_publishButton);
    publishColumn->addWidget(m_publishedView);

    auto* info = new QWidget(scroll);
    m_publishedInfo = info;
    auto* infoColumn = new QVBoxLayout(info);
    infoColumn->setContentsMargins(0, 0, 0, 0);
    m_lastPublishedDate = caption(QString(), info);
    m_lastUpdatedDate = caption(QString(), info);
    infoColumn->addWidget(m_lastPublishedDate);
    infoColumn->addWidget(m_lastUpdatedDate);
    info->setHidden(true);
    publishColumn->addWidget(info);

    m_yourWebsiteView = new InspectorBGView(scroll);
    // The address under its caption, on the page's whole width.
    auto* hostColumn = new QVBoxLayout(m_yourWebsiteView);
    hostColumn->setContentsMargins(0, 4, 0, 6);
    hostColumn->setSpacing(2);
    hostColumn->addWidget(caption(QStringLiteral("Your website"), m_yourWebsiteView));
    m_publishHost = new plr::insp::ElidedCaption(m_yourWebsiteView);
    hostColumn->addWidget(m_publishHost);
    publishColumn->addWidget(m_yourWebsiteView);

    m_wordpressSettingsView = new InspectorBGView(scroll);
    auto* wordpressColumn = new QVBoxLayout(m_wordpressSettingsView);
    wordpressColumn->setContentsMargins(ring, 4, ring, 6);
    m_categoriesPopup = plr::insp::popupButton(m_wordpressSettingsView, {});
    // The site's categories come from the site: the pop-up takes the row's width (a narrow
    // caption leaves it room for the usual names) and never widens the page for a long one.
    m_categoriesPopup->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    wordpressColumn->addLayout(row(QStringLiteral("Category"), m_categoriesPopup, m_wordpressSettingsView,
                                   plr::insp::kOptionCaptionWidth));
    m_publishAsDraft = plr::insp::switchButton(m_wordpressSettingsView);
    m_publishAsDraft->setTarget(this);
    m_publishAsDraft->setAction([this](Control*) { changePublishAsDraftState(); });
    wordpressColumn->addLayout(row(QStringLiteral("Publish as draft"), m_publishAsDraft, m_wordpressSettingsView));
    auto* settingsButton = Button::withTitle(QStringLiteral("WordPress settings"), this, [this](Control*) { showWordpressSettings(); },
                                             m_wordpressSettingsView);
    wordpressColumn->addWidget(settingsButton);
    m_wordpressErrorView = new QWidget(m_wordpressSettingsView);
    auto* errorRow = new QHBoxLayout(m_wordpressErrorView);
    errorRow->setContentsMargins(0, 0, 0, 0);
    m_wordpressErrorText = caption(QString(), m_wordpressErrorView);
    m_wordpressErrorText->setTextColor(ColorWithHex::smb_errorRed());
    errorRow->addWidget(m_wordpressErrorText);
    m_wordpressErrorView->setHidden(true);
    wordpressColumn->addWidget(m_wordpressErrorView);
    publishColumn->addWidget(m_wordpressSettingsView);
    publishArea->setHidden(true);
    column->addWidget(publishArea);

    column->addWidget(caption(QStringLiteral("SEO title"), content, true));
    m_seoTitleTextField = editableField(content);
    m_seoTitleTextField->setIdentifier(QStringLiteral("seoTitleTextField"));
    connect(m_seoTitleTextField->editor(), &QLineEdit::textEdited, this, [this] { setSEOTitle(); });
    column->addWidget(m_seoTitleTextField);
    column->addWidget(caption(QStringLiteral("Meta description"), content, true));
    m_seoMetaTextView = new plr::insp::LimitedTextEdit(content);
    m_seoMetaTextView->setObjectName(QStringLiteral("seoMetaTextView"));
    m_seoMetaTextView->setLimit(kMetaDescriptionLimit);
    m_seoMetaTextView->setFont(systemFont(13));
    m_seoMetaTextView->setMinimumAutoHeight(kMetaMinimumHeight);
    connect(m_seoMetaTextView, &plr::insp::LimitedTextEdit::textEdited, this, [this] { setMetaDescription(); });
    connect(m_seoMetaTextView, &plr::insp::LimitedTextEdit::editingEnded, this, [this] { setMetaDescription(); });
    column->addWidget(m_seoMetaTextView);

    // The SEO panel's place: empty until the panel is registered.
    auto* seoArea = new QWidget(content);
    seoArea->setObjectName(QStringLiteral("seoPanelArea"));
    auto* seoHolder = new QVBoxLayout(seoArea);
    seoHolder->setContentsMargins(0, 0, 0, 0);
    m_seoPanelArea = seoArea;
    column->addWidget(seoArea);
    column->addStretch(1);
}

View* PLRDocumentViewController::settingsView()
{
    view();
    return m_settingsView;
}

void PLRDocumentViewController::viewDidLoad()
{
    // The SEO panel, when its library registered it; it gets the post here, once.
    const QString storyboard = QLatin1String(kPLRMainStoryboard);
    const QString identifier = QLatin1String(kPLRInspectorSeoPanelIdentifier);
    if (platform::Storyboard::hasScene(storyboard, identifier)) {
        QObject* object = platform::Storyboard::instantiate(storyboard, identifier);
        if (auto* panel = qobject_cast<PLRGenericPostViewController*>(object)) {
            panel->setParent(this);
            m_seoViewController = panel;
            View* panelView = panel->view();
            panelView->setParent(m_seoPanelArea);
            static_cast<QVBoxLayout*>(m_seoPanelArea->layout())->addWidget(panelView);
            panel->setPostManager(postManager());
        } else {
            PLR_LOG_ERROR(QStringLiteral("The scene \"%1\" is not a post panel").arg(identifier));
            delete object;
        }
    }
}

void PLRDocumentViewController::viewWillAppear()
{
    PLRViewController::viewWillAppear();
    ensureUI();
}

// ---------------------------------------------------------------- binding

void PLRDocumentViewController::forgetLayoutManager()
{
    QObject::disconnect(m_imageCountConnection);
    if (m_observedDirectory && m_observedPostManager && m_observedPostManager->sourceDirectory() == m_observedDirectory)
        m_observedDirectory->removeDelegate(this);
    m_observedDirectory = nullptr;
    m_observedPostManager = nullptr;
}

void PLRDocumentViewController::setLayoutManager(PLRLayoutManager* manager)
{
    forgetLayoutManager();
    m_layoutManager = manager;
    if (PLRPostManager* post = postManager()) {
        m_observedPostManager = post;
        m_imageCountConnection = connect(post, &PLRPostManager::numberOfImagesInUseChanged, this, [this] { imageCountChanged(); });
        if (PLRSourceDirectory* directory = post->sourceDirectory()) {
            directory->addDelegate(this);
            m_observedDirectory = directory;
        }
        // The page shows the count at once, so that it is never seen without it.
        showImageCount();
        imageCountChanged();
    }
    if (m_seoViewController)
        m_seoViewController->setPostManager(postManager());
    ensureUI();
}

void PLRDocumentViewController::sourceDirectoryAddedNewImage(PLRSourceDirectory*, const PLRSourceImagePtr&)
{
    imageCountChanged();
}

void PLRDocumentViewController::sourceDirectoryDeletedImage(PLRSourceDirectory*, const PLRSourceImagePtr&)
{
    imageCountChanged();
}

void PLRDocumentViewController::imageCountChanged()
{
    QPointer<PLRDocumentViewController> self(this);
    platform::dispatchMain([self] {
        if (self)
            self->showImageCount();
    });
}

void PLRDocumentViewController::showImageCount()
{
    PLRPostManager* post = postManager();
    if (!m_imagesUsedLabel || !post)
        return;
    const qint64 used = post->numberOfImagesInUse();
    m_imagesUsedLabel->setStringValue(QStringLiteral("%1 image%2 of %3 used")
                                          .arg(used)
                                          .arg(used == 1 ? QString() : QStringLiteral("s"))
                                          .arg(post->images().size()));
}

// ---------------------------------------------------------------- filling

void PLRDocumentViewController::ensureUI()
{
    if (!isViewLoaded())
        return;
    m_filling = true;
    PLRLayout* doc = layout();
    const qint64 padding = doc ? doc->padding() : 0;
    m_paddingTextField->setStringValue(QString::number(padding));
    m_paddingStepper->setDoubleValue(double(padding));
    m_bgColorWell->setColor(doc ? PLRLayoutManager::backgroundColourForLayout(*doc) : Color::white());

    PLRPostManager* post = postManager();
    PLRPersistantPost* represented = post ? post->representedPost() : nullptr;
    if (represented && doc) {
        imageCountChanged();
        // Both fields show this post's values (empty ones too), so that a page moved to
        // another post never carries the previous post's text into it.
        if (m_seoTitleTextField->stringValue() != represented->seoTitle())
            m_seoTitleTextField->setStringValue(represented->seoTitle());
        const QString meta = represented->metaDescription();
        if (m_seoMetaTextView->text() != meta)
            updateMetaDescFieldRectForString(meta);
        ensureSocialView();
        m_enableLightboxSwitch->setChecked(doc->present_lightbox());
        const bool animated = doc->has_animation();
        m_enableLayoutAnimationSwitch->setChecked(animated);
        m_animationView->setHidden(!animated);
        if (animated) {
            const PLRLayout_Animation& animation = doc->animation();
            const bool moveIn = animation.move_in_edge() == PLRLayout_Animation::BOTTOM;
            if (animation.fade() && moveIn)
                m_layoutAnimationTypeButton->selectItemWithTag(0);
            else if (animation.fade() && animation.move_in_edge() == PLRLayout_Animation::NONE)
                m_layoutAnimationTypeButton->selectItemWithTag(1);
            else if (!animation.fade() && moveIn)
                m_layoutAnimationTypeButton->selectItemWithTag(2);
            else
                m_layoutAnimationTypeButton->selectItemAtIndex(-1);
            m_layoutAnimationSpeedPopupButton->selectItemWithTag(animation.speed());
        } else {
            m_layoutAnimationSpeedPopupButton->selectItemWithTag(1);
        }
        m_enableImageKeywordsOverlaySwitch->setChecked(m_layoutManager->imageKeywordOverlayEnabled());
    }
    m_filling = false;
}

void PLRDocumentViewController::ensureSocialView()
{
    PLRLayout* doc = layout();
    if (!doc || !isViewLoaded())
        return;
    const bool pinterest = doc->has_pinterest_button();
    m_includePinterestToggleSwitch->setChecked(pinterest);
    m_socialPluginView->setHidden(!pinterest);
    m_pinterestContainerView->setHidden(!pinterest);
    const bool facebook = doc->has_facebook_button();
    m_includeFacebookSwitch->setChecked(facebook);
    m_facebookContainerView->setHidden(!facebook);
    m_facebookCommentsView->setHidden(!facebook);
    if (pinterest) {
        m_pinterestButtonSizePopUpButton->selectItemWithTag(doc->pinterest_button().style());
        m_pinterestButtonPositionPopUpButton->selectItemWithTag(doc->pinterest_button().position());
    }
    if (facebook) {
        m_facebookPostURLTextField->setStringValue(QString::fromStdString(doc->facebook_button().post_url()));
        m_facebookAccountIdTextField->setStringValue(QString::fromStdString(doc->facebook_button().facebook_id()));
    }
}

// ---------------------------------------------------------------- layout settings

namespace {

// The whole number a text starts with, after blanks and an optional sign ("12.5" and "12px"
// give 12); 0 when it starts with none.
qint64 leadingInteger(const QString& text)
{
    int i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        negative = text.at(i++) == QLatin1Char('-');
    qint64 value = 0;
    for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text.at(i).unicode() - '0');
        if (value > std::numeric_limits<qint32>::max())
            return negative ? std::numeric_limits<qint32>::min() : std::numeric_limits<qint32>::max();
    }
    return negative ? -value : value;
}

} // namespace

void PLRDocumentViewController::setPaddingValue(qint64 padding)
{
    PLRLayout* doc = layout();
    if (!doc)
        return;
    // Spacing cannot be negative (blocks would overlap), nor beyond what a layout may hold.
    padding = std::clamp<qint64>(padding, 0, plr::kMaxLayoutPadding);
    doc->set_padding(padding);
    announce();
}

void PLRDocumentViewController::setPaddingAction()
{
    if (!layout())
        return;
    // The post takes the whole points of what was typed ("12.5" gives 12); the default for
    // new posts keeps the typed value itself.
    const QString typed = m_paddingTextField->stringValue().trimmed();
    setPaddingValue(leadingInteger(typed));
    const qint64 stored = layout()->padding();
    m_paddingStepper->setDoubleValue(double(stored));
    bool isNumber = false;
    const double typedValue = typed.toDouble(&isNumber);
    if (m_paddingTextField->stringValue() != QString::number(stored))
        m_paddingTextField->setStringValue(QString::number(stored));
    PLRDefaults::setDefaultPadding(isNumber && typedValue >= 0.0 ? typedValue : double(stored));
}

void PLRDocumentViewController::setPaddingStepperAction()
{
    if (!layout())
        return;
    setPaddingValue(m_paddingStepper->integerValue());
    m_paddingTextField->setStringValue(QString::number(layout()->padding()));
    PLRDefaults::setDefaultPadding(m_paddingTextField->stringValue().toDouble());
}

void PLRDocumentViewController::showBackgroundColourWell()
{
    m_bgColorWell->activate(false);
}

void PLRDocumentViewController::setBackgroundColour()
{
    PLRLayout* doc = layout();
    if (!doc)
        return;
    const QColor device = m_bgColorWell->color().toQColor().toRgb();
    PLRColour colour;
    colour.set_r(float(std::floor(device.redF() * 255.0)));
    colour.set_g(float(std::floor(device.greenF() * 255.0)));
    colour.set_b(float(std::floor(device.blueF() * 255.0)));
    plr::setBackgroundColour(doc, &colour);
    announce();
}

void PLRDocumentViewController::toggleAnimation()
{
    PLRLayout* doc = layout();
    if (!doc)
        return;
    if (m_enableLayoutAnimationSwitch->checked()) {
        m_animationView->setHidden(false);
        PLRLayout_Animation animation;
        animation.set_fade(true);
        animation.set_move_in_edge(PLRLayout_Animation::BOTTOM);
        animation.set_speed(PLRLayout_Animation::MEDIUM);
        plr::setAnimation(doc, &animation);
        m_layoutAnimationTypeButton->selectItemWithTag(0);
        m_layoutAnimationSpeedPopupButton->selectItemWithTag(animation.speed());
    } else {
        m_animationView->setHidden(true);
        plr::setAnimation(doc, nullptr);
    }
    announce();
}

void PLRDocumentViewController::setAnimationType()
{
    PLRLayout* doc = layout();
    if (!doc)
        return;
    PLRLayout_Animation* animation = doc->mutable_animation();
    switch (m_layoutAnimationTypeButton->selectedTag()) {
    case 0:
        animation->set_fade(true);
        animation->set_move_in_edge(PLRLayout_Animation::BOTTOM);
        break;
    case 1:
        animation->set_fade(true);
        animation->set_move_in_edge(PLRLayout_Animation::NONE);
        break;
    case 2:
        animation->set_fade(false);
        animation->set_move_in_edge(PLRLayout_Animation::BOTTOM);
        break;
    default:
        break;
    }
    announce();
}

void PLRDocumentViewController::setAnimationSpeed()
{
    PLRLayout* doc = layout();
    const qint64 tag = m_layoutAnimationSpeedPopupButton->selectedTag();
    if (!doc || !PLRLayout_Animation::AnimationSpeed_IsValid(int(tag)))
        return;
    doc->mutable_animation()->set_speed(PLRLayout_Animation::AnimationSpeed(tag));
    announce();
}

void PLRDocumentViewController::toggleLightbox()
{
    if (PLRLayout* doc = layout()) {
        doc->set_present_lightbox(m_enableLightboxSwitch->checked());
        announce();
    }
}

void PLRDocumentViewController::togglePinterestButtons()
{
    PLRLayout* doc = layout();
    if (!doc)
        return;
    m_socialPluginView->setHidden(!m_includePinterestToggleSwitch->checked());
    if (doc->has_pinterest_button()) {
        plr::setPinterestButton(doc, nullptr);
    } else {
        PLRLayout_Pinterest pinterest;
        pinterest.set_style(PLRLayout_Pinterest::SMALL);
        pinterest.set_position(PLRLayout_Pinterest::TOPLEFT);
        plr::setPinterestButton(doc, &pinterest);
    }
    announce();
    ensureSocialView();
}

void PLRDocumentViewController::setPinterestButtonSize()
{
    PLRLayout* doc = layout();
    const qint64 tag = m_pinterestButtonSizePopUpButton->selectedTag();
    if (!doc || !doc->has_pinterest_button() || !PLRLayout_Pinterest::PinterestStyle_IsValid(int(tag)))
        return;
    doc->mutable_pinterest_button()->set_style(PLRLayout_Pinterest::PinterestStyle(tag));
    announce();
}

void PLRDocumentViewController::setPinterestButtonPosition()
{
    PLRLayout* doc = layout();
    const qint64 tag = m_pinterestButtonPositionPopUpButton->selectedTag();
    if (!doc || !doc->has_pinterest_button() || !PLRLayout_Pinterest::PinterestPosition_IsValid(int(tag)))
        return;
    doc->mutable_pinterest_button()->set_position(PLRLayout_Pinterest::PinterestPosition(tag));
    announce();
}

void PLRDocumentViewController::toggleFacebookComments()
{
    PLRLayout* doc = layout();
    if (!doc)
        return;
    m_facebookCommentsView->setHidden(!m_includeFacebookSwitch->checked());
    if (doc->has_facebook_button()) {
        plr::setFacebookButton(doc, nullptr);
    } else {
        PLRLayout_Facebook facebook;
        plr::setFacebookButton(doc, &facebook);
    }
    announce();
    ensureSocialView();
}

void PLRDocumentViewController::setFacebookPostURL()
{
    PLRLayout* doc = layout();
    if (!doc || !doc->has_facebook_button())
        return;
    doc->mutable_facebook_button()->set_post_url(m_facebookPostURLTextField->stringValue().toStdString());
    announce();
}

void PLRDocumentViewController::setFacebookAccountId()
{
    PLRLayout* doc = layout();
    if (!doc || !doc->has_facebook_button())
        return;
    doc->mutable_facebook_button()->set_facebook_id(m_facebookAccountIdTextField->stringValue().toStdString());
    announce();
}

void PLRDocumentViewController::toggleImageKeywordsOverlay()
{
    if (!m_layoutManager)
        return;
    m_layoutManager->setImageKeywordOverlayEnabled(m_enableImageKeywordsOverlaySwitch->checked());
    QPointer<PLRLayoutManager> manager = m_layoutManager;
    platform::Clock::shared().after(0.05, this, [manager] {
        if (!manager)
            return;
        if (PLRLayoutViewProxy* live = manager->liveLayoutViewProxy())
            if (PLRLayoutView* view = live->layoutView())
                view->reloadLayout();
    });
}

// ---------------------------------------------------------------- SEO fields

void PLRDocumentViewController::setSEOTitle()
{
    PLRPostManager* post = postManager();
    if (post && post->representedPost())
        post->representedPost()->setSeoTitle(m_seoTitleTextField->stringValue());
}

void PLRDocumentViewController::setMetaDescription()
{
    PLRPostManager* post = postManager();
    if (post && post->representedPost() && post->representedPost()->metaDescription() != m_seoMetaTextView->text())
        post->representedPost()->setMetaDescription(m_seoMetaTextView->text());
}

void PLRDocumentViewController::updateMetaDescFieldRectForString(const QString& text)
{
    // The text view follows its text's height itself (at least kMetaMinimumHeight); this only
    // makes sure it shows the text given.
    if (m_seoMetaTextView && m_seoMetaTextView->text() != text)
        m_seoMetaTextView->setText(text);
}

// ---------------------------------------------------------------- publish-state area

void PLRDocumentViewController::setPublishViewController(PLRInspectorPublishPanel* panel, QObject* lifetime)
{
    m_publishPanel = panel;
    m_publishPanelLifetime = lifetime;
    settingsView();
    m_topLevelPublishView->setHidden(panel == nullptr);
}

void PLRDocumentViewController::showUnpublishedState()
{
    settingsView();
    m_publishedStatusText->setStringValue(QStringLiteral("Not Published"));
    m_publishButton->setTitle(QStringLiteral("Publish"));
    m_publishButton->setNeedsDisplay();
    m_publishedStatusIconView->setImage(namedImage(QStringLiteral("bolt-grey")));
    m_publishedStatusIconView->setHidden(false);
    m_publishedInfo->setHidden(true);
    m_publishedView->setDrawLine(true);
    m_uploadingSpinner->setHidden(true);
    m_publishButton->setEnabled(true);
    m_isPublished = false;
    m_isUploading = false;
}

void PLRDocumentViewController::showUploadingState(const QString& text)
{
    settingsView();
    m_publishedStatusText->setStringValue(QStringLiteral(" %1").arg(text));
    m_publishButton->setTitle(QStringLiteral("Cancel"));
    m_publishButton->setNeedsDisplay();
    m_publishedStatusIconView->setHidden(true);
    m_uploadingSpinner->setHidden(false);
    m_uploadingSpinner->startAnimating();
    m_isUploading = true;
}

void PLRDocumentViewController::setUploadCancelEnabled(bool enabled)
{
    settingsView();
    m_publishButton->setHidden(!enabled);
    m_publishButton->setEnabled(enabled);
}

void PLRDocumentViewController::showPublishedState()
{
    settingsView();
    m_publishedStatusText->setStringValue(QStringLiteral("Published"));
    m_publishButton->setTitle(QStringLiteral("Un-publish"));
    m_publishButton->setNeedsDisplay();
    m_publishedStatusIconView->setImage(namedImage(QStringLiteral("bolt-green")));
    m_publishedStatusIconView->setHidden(false);
    m_publishedInfo->setHidden(false);
    m_publishedView->setDrawLine(false);
    m_uploadingSpinner->setHidden(true);
    m_publishButton->setEnabled(true);
    m_isPublished = true;
    m_isUploading = false;
}

void PLRDocumentViewController::updatePublishedDate(const QString& text)
{
    settingsView();
    m_lastPublishedDate->setStringValue(QStringLiteral("Published on:  %1").arg(text));
    m_publishedView->setDrawLine(false);
    m_publishedInfo->setHidden(false);
}

void PLRDocumentViewController::updateLastUpdatedDate(const QString& text)
{
    settingsView();
    m_lastUpdatedDate->setStringValue(QStringLiteral("Last updated:  %1").arg(text));
    m_publishedView->setDrawLine(false);
    m_publishedInfo->setHidden(false);
}

void PLRDocumentViewController::updatePublishHost(const QString& text)
{
    settingsView();
    m_publishHost->setFullText(text);
}

void PLRDocumentViewController::setWordPressSettingsViewHidden(bool hidden)
{
    settingsView();
    m_wordpressSettingsView->setHidden(hidden);
    m_yourWebsiteView->setDrawLine(hidden);
    m_yourWebsiteView->setContentsMargins(0, 0, 0, hidden ? 14 : 5);
}

void PLRDocumentViewController::showWordpressError(const QString& text)
{
    settingsView();
    m_wordpressErrorText->setStringValue(text);
    m_wordpressErrorView->setHidden(false);
    m_wordpressSettingsView->setDrawLine(false);
}

void PLRDocumentViewController::hideWordPressError()
{
    settingsView();
    m_wordpressErrorView->setHidden(true);
    m_wordpressSettingsView->setDrawLine(true);
}

void PLRDocumentViewController::postPublishAreaVisibility(bool hidden)
{
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLRToggleInspectorBottomPublishAreaVisibility), this,
                                                       {{QString::fromLatin1(kPLRToggleInspectorBottomPublishAreaHiddenKey), hidden}});
}

QWidget* PLRDocumentViewController::addOverlay(QPointer<QWidget>& overlay, const QString& text, bool spinner)
{
    auto* view = new QWidget(m_topLevelPublishView);
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(0, 12, 0, 12);
    auto* label = caption(text, view);
    label->setAlignment(TextAlignment::Center);
    column->addWidget(label);
    if (spinner) {
        auto* wheel = new PLRSpinner(QRectF(0, 0, 24, 24), view);
        wheel->setFixedSize(24, 24);
        wheel->setObjectName(QStringLiteral("overlaySpinner"));
        column->addWidget(wheel, 0, Qt::AlignHCenter);
    }
    overlay = view;
    return view;
}

void PLRDocumentViewController::showOverlay(QPointer<QWidget>& overlay, const QString& text, bool spinner)
{
    settingsView();
    if (overlay && overlay->parentWidget() == m_topLevelPublishView)
        return;
    postPublishAreaVisibility(true);
    QWidget* view = addOverlay(overlay, text, spinner);
    static_cast<QVBoxLayout*>(m_topLevelPublishView->layout())->addWidget(view);
    m_scrollView->setHidden(true);
    if (auto* wheel = view->findChild<PLRSpinner*>(QStringLiteral("overlaySpinner")))
        wheel->startAnimating();
    view->show();
}

void PLRDocumentViewController::hideOverlay(QPointer<QWidget>& overlay)
{
    if (!overlay || !m_topLevelPublishView || overlay->parentWidget() != m_topLevelPublishView)
        return;
    if (auto* wheel = overlay->findChild<PLRSpinner*>(QStringLiteral("overlaySpinner")))
        wheel->stopAnimating(false);
    delete overlay;
    m_scrollView->setHidden(false);
    postPublishAreaVisibility(false);
}

void PLRDocumentViewController::showOfflineView()
{
    showOverlay(m_noInternetView, QStringLiteral("You are offline"), false);
}

void PLRDocumentViewController::hideOfflineView() { hideOverlay(m_noInternetView); }

void PLRDocumentViewController::showNoServerConnectionView()
{
    showOverlay(m_noServerConnectionView, QStringLiteral("Connecting to the server..."), true);
}

void PLRDocumentViewController::hideNoServerConnectionView() { hideOverlay(m_noServerConnectionView); }

void PLRDocumentViewController::showFetchingInfoView()
{
    showOverlay(m_fetchingStatusView, QStringLiteral("Fetching the post's status..."), true);
}

void PLRDocumentViewController::hideFetchingInfoView() { hideOverlay(m_fetchingStatusView); }

void PLRDocumentViewController::publish()
{
    if (!m_publishPanel || (m_publishPanelLifetime.isNull()))
        return;
    if (m_isUploading)
        m_publishPanel->cancelUpdate();
    else if (m_isPublished)
        m_publishPanel->deleteRemotePost();
    else
        m_publishPanel->publish();
}

void PLRDocumentViewController::showWordpressSettings()
{
    if (m_publishPanel && m_publishPanelLifetime)
        m_publishPanel->showWordpressSettings();
}

void PLRDocumentViewController::changePublishAsDraftState()
{
    if (m_publishPanel && m_publishPanelLifetime)
        m_publishPanel->changePublishAsDraftState();
}
