#include "shell/post/PLRPrepViewController.h"

#include "platform/Alert.h"
#include "platform/Storyboard.h"
#include "platform/Workspace.h"
#include "platform-ui/Fonts.h"
#include "store/session/PLRDefaults.h"
#include "shell/PLRShellNotifications.h"
#include "shell/post/PLRRecentContainer.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include <cmath>

using namespace platform::ui;

namespace {

// Dims the post view and holds the sheet's card in its middle. Tab and Shift+Tab go round the
// sheet's own controls: the post behind it is covered and takes no keys.
class SheetBackground : public View {
public:
    using View::View;
    void drawRect(GraphicsContext& context, const QRectF&) override { context.fillRect(bounds(), Color(0.95, 0.95, 0.95, 0.97)); }

protected:
    bool focusNextPrevChild(bool next) override
    {
        QWidget* from = QApplication::focusWidget();
        if (!from || !isAncestorOf(from))
            from = this;
        QWidget* candidate = from;
        for (;;) {
            candidate = next ? candidate->nextInFocusChain() : candidate->previousInFocusChain();
            if (!candidate || candidate == from)
                return false;
            const bool takesTab = (candidate->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
            if (isAncestorOf(candidate) && takesTab && candidate->isVisible() && candidate->isEnabled()
                && !candidate->focusProxy()) {
                candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                return true;
            }
        }
    }
};

TextField* makeLabel(const QString& text, double size, FontWeight weight, const Color& colour, QWidget* parent)
{
    auto* field = new TextField(parent);
    field->setStringValue(text);
    field->setFont(systemFont(size, weight));
    field->setTextColor(colour);
    field->setFixedHeight(int(std::ceil(size * 1.5)));
    return field;
}

} // namespace

PLRPrepViewController::PLRPrepViewController(QObject* parent) : PLRViewController(parent)
{
    const QColor colour = PLRDefaults::defaultBackgroundColour().toRgb();
    PLRColour offered;
    offered.set_r(float(std::floor(colour.redF() * 255.0)));
    offered.set_g(float(std::floor(colour.greenF() * 255.0)));
    offered.set_b(float(std::floor(colour.blueF() * 255.0)));
    setDocumentColour(offered);
}

void PLRPrepViewController::setDocumentColour(const PLRColour& colour)
{
    m_documentColour = colour;
    m_rawColor = Color(colour.r() / 255.0, colour.g() / 255.0, colour.b() / 255.0);
}

PLRPrepViewController::~PLRPrepViewController() = default;

void PLRPrepViewController::registerScene()
{
    platform::Storyboard::registerScene(QLatin1String(kPLRMainStoryboard), QStringLiteral("PLRPrepViewController"),
                                        [] { return new PLRPrepViewController; });
}

View* PLRPrepViewController::loadView()
{
    auto* root = new SheetBackground;
    root->setIdentifier(QStringLiteral("PLRPrepViewController"));
    auto* outer = new QVBoxLayout(root);
    outer->addStretch(1);

    auto* card = new Box(root);
    card->setFillColor(Color::white());
    card->setBorderColor(Color::black(0.12));
    card->setCornerRadius(6.0);
    card->setFixedWidth(460);
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(28, 24, 28, 22);
    column->setSpacing(8);

    column->addWidget(makeLabel(QStringLiteral("New Post"), 20, FontWeight::Medium, namedColor(QStringLiteral("plrTextColor")), card));
    column->addSpacing(6);
    column->addWidget(makeLabel(QStringLiteral("Post name"), 12, FontWeight::Medium, Color(0.4, 0.4, 0.4), card));
    m_titleTextField = new TextField(card);
    m_titleTextField->setEditable(true);
    m_titleTextField->setDrawsBackground(true);
    m_titleTextField->setBackgroundColor(Color(0.97, 0.97, 0.97));
    m_titleTextField->setFont(systemFont(14));
    m_titleTextField->setPlaceholderString(QStringLiteral("My new post"));
    m_titleTextField->setFixedHeight(30);
    QObject::connect(m_titleTextField->editor(), &QLineEdit::returnPressed, this, [this] { doneAction(); });
    column->addWidget(m_titleTextField);

    column->addSpacing(8);
    column->addWidget(makeLabel(QStringLiteral("Photo folder"), 12, FontWeight::Medium, Color(0.4, 0.4, 0.4), card));
    m_directoryLabel = makeLabel(QString(), 12, FontWeight::Regular, Color(0.5, 0.5, 0.5), card);
    column->addWidget(m_directoryLabel);

    m_folderPathSelectedBox = new Box(card);
    m_folderPathSelectedBox->setFillColor(Color(0.96, 0.98, 1.0));
    m_folderPathSelectedBox->setBorderColor(Color(0.13, 0.62, 1.0, 0.5));
    m_folderPathSelectedBox->setCornerRadius(4.0);
    m_folderPathSelectedBox->setFixedHeight(34);
    auto* boxRow = new QHBoxLayout(m_folderPathSelectedBox);
    boxRow->setContentsMargins(8, 4, 4, 4);
    m_selectedPathLabel = makeLabel(QString(), 12, FontWeight::Regular, namedColor(QStringLiteral("plrTextColor")), m_folderPathSelectedBox);
    boxRow->addWidget(m_selectedPathLabel, 1);
    m_changeFolderButton = Button::withTitle(QStringLiteral("Change\u2026"), this, [this](Control*) { setDirectoryAction(); },
                                             m_folderPathSelectedBox);
    m_changeFolderButton->setFixedSize(84, 26);
    boxRow->addWidget(m_changeFolderButton);
    column->addWidget(m_folderPathSelectedBox);

    m_selectFolderButton = Button::withTitle(QStringLiteral("Choose Folder\u2026"), this, [this](Control*) { setDirectoryAction(); }, card);
    m_selectFolderButton->setFixedSize(150, 30);
    column->addWidget(m_selectFolderButton, 0, Qt::AlignLeft);

    m_includeSubfoldersButton = new QCheckBox(QStringLiteral("Include photos in sub-folders"), card);
    QObject::connect(m_includeSubfoldersButton, &QCheckBox::clicked, this, [this] { includeSubfolders(); });
    // Return there creates the post, as it does in the name field (Space ticks the box).
    m_includeSubfoldersButton->installEventFilter(this);
    column->addWidget(m_includeSubfoldersButton);

    column->addSpacing(10);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancelButton = Button::withTitle(QStringLiteral("Cancel"), this, [this](Control*) { cancelAction(); }, card);
    m_cancelButton->setFixedSize(100, 30);
    m_cancelButton->setKeyEquivalent(QStringLiteral("\x1b"));
    m_doneButton = Button::withTitle(QStringLiteral("Create Post"), this, [this](Control*) { doneAction(); }, card);
    m_doneButton->setFixedSize(120, 30);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_doneButton);
    column->addLayout(buttons);

    outer->addWidget(card, 0, Qt::AlignHCenter);
    outer->addStretch(2);
    ensureUI();
    return root;
}

QString PLRPrepViewController::documentTitle() const
{
    return m_titleTextField ? m_titleTextField->stringValue() : QString();
}

void PLRPrepViewController::viewWillAppear()
{
    m_documentPadding = qint64(PLRDefaults::defaultPadding());
    ensureUI();
}

void PLRPrepViewController::viewDidAppear()
{
    if (m_titleTextField && m_titleTextField->editor())
        m_titleTextField->editor()->setFocus(Qt::OtherFocusReason);
}

void PLRPrepViewController::ensureUI()
{
    if (!m_directoryLabel)
        return;
    const bool chosen = m_directoryWatch.isValid() && !m_directoryWatch.isEmpty();
    const QString path = chosen ? QDir::toNativeSeparators(m_directoryWatch.toLocalFile()) : QString();
    m_directoryLabel->setStringValue(chosen ? path : QStringLiteral("No folder selected."));
    m_directoryLabel->setHidden(chosen);
    m_selectedPathLabel->setStringValue(path);
    m_selectedPathLabel->setToolTip(path);
    m_folderPathSelectedBox->setHidden(!chosen);
    m_selectFolderButton->setHidden(chosen);
    m_includeSubfoldersButton->setChecked(PLRDefaults::defaultIncludeSubfolders());
}

void PLRPrepViewController::setDirectoryAction()
{
    platform::PanelRequest request;
    request.kind = platform::PanelRequest::Kind::OpenDirectory;
    request.title = QStringLiteral("Choose the folder of photos for this post");
    request.prompt = QStringLiteral("Choose");
    const bool choosingByKeyboard = m_selectFolderButton && m_selectFolderButton->hasFocus();
    const std::optional<QString> chosen = platform::FilePanels::shared().run(request, view()->window());
    if (!chosen || chosen->isEmpty())
        return;
    m_directoryWatch = QUrl::fromLocalFile(*chosen);
    PLRRecentContainer::addPathToRecents(m_directoryWatch.toLocalFile());
    ensureUI();
    // Choose Folder is replaced by the chosen folder and its Change button: the keyboard that
    // was on the one goes on to the other rather than to whatever follows in the Tab order.
    if (choosingByKeyboard && m_changeFolderButton && m_changeFolderButton->isVisibleTo(view()))
        m_changeFolderButton->setFocus(Qt::TabFocusReason);
}

bool PLRPrepViewController::eventFilter(QObject* watched, QEvent* event)
{
    // The event's type first: while the box is being destroyed it is no longer a check box, and
    // it is still sent events then.
    if (event->type() == QEvent::KeyPress && watched == m_includeSubfoldersButton) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            doneAction();
            return true;
        }
    }
    return PLRViewController::eventFilter(watched, event);
}

void PLRPrepViewController::includeSubfolders()
{
    PLRDefaults::setDefaultIncludeSubfolders(m_includeSubfoldersButton->isChecked());
}

void PLRPrepViewController::doneAction()
{
    // A name of blanks only would show as no name at all.
    if (documentTitle().trimmed().isEmpty()) {
        platform::Alert alert;
        alert.style = platform::AlertStyle::Informational;
        alert.messageText = QStringLiteral("Empty Post Name");
        alert.informativeText = QStringLiteral("You need to give your post a name.");
        alert.buttons = {QStringLiteral("OK")};
        platform::runAlert(alert, view()->window());
        if (m_titleTextField->editor())
            m_titleTextField->editor()->setFocus(Qt::OtherFocusReason);
        return;
    }
    // A folder that went away since it was chosen counts as none.
    if (!m_directoryWatch.isEmpty() && !QFileInfo(m_directoryWatch.toLocalFile()).isDir()) {
        m_directoryWatch = QUrl();
        ensureUI();
    }
    if (m_directoryWatch.isEmpty()) {
        platform::Alert alert;
        alert.style = platform::AlertStyle::Informational;
        alert.messageText = QStringLiteral("No Folder Selected");
        alert.informativeText = QStringLiteral("You have not selected a source folder.\nThe source folder is where Pellora "
                                               "Publish will get the images for the post.");
        alert.buttons = {QStringLiteral("OK")};
        platform::runAlert(alert, view()->window());
        return;
    }
    if (m_completionBlock)
        m_completionBlock(true);
}

void PLRPrepViewController::cancelAction()
{
    if (m_completionBlock)
        m_completionBlock(false);
}
