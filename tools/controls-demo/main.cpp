// Shows each control of the kit in one window. With --screenshot FILE it draws the window once
// (animations frozen at a fixed time) into a PNG and exits.

#include "controls/ColorWithHex.h"
#include "controls/PLRButton.h"
#include "controls/PLRCheckboxButton.h"
#include "controls/PLRHelpButton.h"
#include "controls/PLRLinkButtons.h"
#include "controls/PLRBoxButton.h"
#include "controls/PLRColorWell.h"
#include "controls/PLRErrorBox.h"
#include "controls/PLRHyperLinkView.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRProgressBar.h"
#include "controls/PLRSlidingButtonStack.h"
#include "controls/PLRSmallViews.h"
#include "controls/PLRSliderCell.h"
#include "controls/PLRSpinner.h"
#include "controls/PLRStepperCell.h"
#include "controls/PLRSwitchButton.h"
#include "controls/PLRTextFieldCell.h"
#include "controls/OEXTokenField.h"
#include "controls/WAYWindow.h"
#include "platform/Resources.h"
#include "platform-ui/Animation.h"
#include "platform-ui/Fonts.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QTimer>

using namespace platform::ui;

namespace {

TextField* caption(View* parent, const QString& text, const QRectF& frame)
{
    auto* label = new TextField(parent);
    label->setStringValue(text);
    label->setFont(systemFont(11));
    label->setTextColor(namedColor(QStringLiteral("plrTextColor")));
    label->setFrame(frame);
    return label;
}

// One row of the state grid: makes the control in its cell.
struct StateRow {
    QString name;
    std::function<QWidget*(View* parent, const QRectF& frame)> make;
    bool hovers = true;    // the pointer over it changes its look
    bool presses = true;   // a press can be shown without running the control's action
};

enum StateColumn { Normal, Hover, Pressed, Focused, Disabled, ColumnCount };

void showState(QWidget* widget, StateColumn column, const StateRow& row)
{
    auto* view = qobject_cast<View*>(widget);
    switch (column) {
    case Hover:
        if (view && row.hovers)
            view->mouseEntered(MouseEvent());
        break;
    case Pressed:
        if (!row.presses)
            break;
        if (auto* stepper = qobject_cast<PLRStepper*>(widget)) {
            stepper->cell().setCurrentStepperState(PLRStepperCell::upHighlighted);
            stepper->update();
        } else if (auto* button = qobject_cast<Button*>(widget); button && !qobject_cast<PLRButton*>(widget)) {
            button->setHighlighted(true);
        } else if (view) {
            view->mouseDown(MouseEvent());
        }
        break;
    case Disabled:
        widget->setEnabled(false);
        if (auto* box = qobject_cast<PLRBoxButton*>(widget))
            box->setIsEnabled(false);
        if (auto* button = qobject_cast<PLRButton*>(widget))
            button->setEnabled(false);
        break;
    default:
        break;
    }
}

QList<StateRow> stateRows()
{
    auto titled = [](auto* button, const QString& title) {
        button->setTitle(title);
        return button;
    };
    QList<StateRow> rows;
    rows.append({QStringLiteral("Primary"), [](View* p, const QRectF& f) -> QWidget* {
        auto* b = new PLRButton(p);
        b->setFrame(f);
        b->setFont(systemFont(12));
        b->setTitle(QStringLiteral("Continue"));
        b->setButtonStyle(PLRButton::Primary);
        b->awakeFromNib();
        return b;
    }});
    rows.append({QStringLiteral("Secondary"), [](View* p, const QRectF& f) -> QWidget* {
        auto* b = new PLRButton(p);
        b->setFrame(f);
        b->setFont(systemFont(12));
        b->setTitle(QStringLiteral("Sec hover"));
        b->setButtonStyle(PLRButton::Secondary);
        b->awakeFromNib();
        return b;
    }});
    rows.append({QStringLiteral("Check box"), [titled](View* p, const QRectF& f) -> QWidget* {
        auto* b = titled(new PLRCheckboxButton(p), QStringLiteral("Sharpen"));
        b->setFrame(f);
        b->setState(Button::StateOn);
        return b;
    }, false});
    rows.append({QStringLiteral("Radio"), [titled](View* p, const QRectF& f) -> QWidget* {
        auto* b = titled(new PLRRadioButton(p), QStringLiteral("Collage"));
        b->setFrame(f);
        b->setState(Button::StateOn);
        return b;
    }, false});
    rows.append({QStringLiteral("Switch"), [](View* p, const QRectF& f) -> QWidget* {
        auto* s = new PLRSwitchButton(QRectF(f.x(), f.y() + 2, 44, 24), p);
        s->setChecked(true);
        return s;
    }, false, false});
    rows.append({QStringLiteral("Pop-up"), [](View* p, const QRectF& f) -> QWidget* {
        auto* b = new PLRPopupButton(p);
        b->setFrame(f);
        b->addItem(QStringLiteral("Travel"), 0);
        b->addSeparatorItem();
        b->addItem(QStringLiteral("Publish via Code"), 2);
        b->selectItemWithTag(0);
        b->setFocusPolicy(Qt::TabFocus);
        return b;
    }, false, false});
    rows.append({QStringLiteral("Slider"), [](View* p, const QRectF& f) -> QWidget* {
        auto* s = new PLRSlider(p);
        s->setFrame(f);
        s->cell().awakeFromNib();
        s->setMaxValue(100);
        s->setDoubleValue(60);
        s->setFocusPolicy(Qt::TabFocus);
        return s;
    }, false, false});
    rows.append({QStringLiteral("Stepper"), [](View* p, const QRectF& f) -> QWidget* {
        auto* s = new PLRStepper(p);
        s->setFrame(QRectF(f.x(), f.y(), 19, 30));
        s->cell().awakeFromNib();
        s->setFocusPolicy(Qt::TabFocus);
        return s;
    }, false});
    rows.append({QStringLiteral("Text field"), [](View* p, const QRectF& f) -> QWidget* {
        auto* t = new PLRTextFieldCell(p);
        t->setFrame(f);
        t->setEditable(true);
        t->setStringValue(QStringLiteral("Lisbon"));
        return t;
    }, false, false});
    rows.append({QStringLiteral("Token field"), [](View* p, const QRectF& f) -> QWidget* {
        auto* t = new OEXTokenField(p);
        t->setGeometry(p->toQt(QRectF(f.x(), f.y() - 8, f.width(), 44)).toRect());
        t->setObjectValue({QStringLiteral("fog")});
        return t;
    }, false, false});
    rows.append({QStringLiteral("Link"), [titled](View* p, const QRectF& f) -> QWidget* {
        auto* b = titled(new Pellora_Publish::PLRLinkButton(p), QStringLiteral("Un-publish"));
        b->setFrame(f);
        b->awakeFromNib();
        return b;
    }});
    rows.append({QStringLiteral("Gradient"), [](View* p, const QRectF& f) -> QWidget* {
        auto* g = new PLRGradientButton(p);
        g->setFrame(f);
        g->setStartColour(ColorWithHex::gradientBlueStartColour());
        g->setEndColour(ColorWithHex::gradientBlueEndColour());
        g->setDisabledColour(Color(0.85, 0.85, 0.85));
        g->setBorderRadius(5);
        g->setTitle(QStringLiteral("Publish"));
        g->awakeFromNib();
        return g;
    }, false});
    rows.append({QStringLiteral("Box button"), [](View* p, const QRectF& f) -> QWidget* {
        auto* b = new PLRBoxButton(p);
        b->setFrame(QRectF(f.x(), f.y() - 8, f.width(), 40));
        b->setUpDefaultContent(QStringLiteral("Crop"));
        b->setIsEnabled(true);
        return b;
    }});
    rows.append({QStringLiteral("Colour well"), [](View* p, const QRectF& f) -> QWidget* {
        auto* w = new PLRColorWell(p);
        w->setFrame(QRectF(f.x(), f.y() + 2, 44, 22));
        w->setColor(ColorWithHex::smb_blueColour());
        return w;
    }, false, false});
    return rows;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    platform::resources::initialize();
    fonts::registerBundledFonts();
    QString screenshot;
    for (int i = 1; i + 1 < argc; ++i)
        if (QString::fromLocal8Bit(argv[i]) == QLatin1String("--screenshot"))
            screenshot = QString::fromLocal8Bit(argv[i + 1]);
    if (!screenshot.isEmpty())
        AnimationClock::shared().setManual(true);

    WAYWindow window(QRectF(80, 80, 1300, 800));
    window.setTitle(QStringLiteral("Controls"));
    window.setTitleBarHeight(38);
    window.setBackgroundColor(ColorWithHex::smb_homeBackground());
    View* content = window.contentView();
    const double top = 800; // content height below the bar (y up)

    // Palette swatches.
    caption(content, QStringLiteral("Palette"), QRectF(20, top - 30, 200, 16));
    const QList<Color> swatches{ColorWithHex::smb_blueColour(), ColorWithHex::smb_errorRed(), ColorWithHex::smb_snapColour(),
                                ColorWithHex::smb_indicatorGreenColour(), ColorWithHex::smb_indicatorYellowColour(),
                                ColorWithHex::gradientBlueStartColour(), ColorWithHex::gradientBlueEndColour(),
                                ColorWithHex::smb_quoteTextColour(), ColorWithHex::smb_grabBorderColour(),
                                ColorWithHex::darkerColor(ColorWithHex::smb_blueColour())};
    for (int i = 0; i < swatches.size(); ++i) {
        auto* swatch = new PLRBackgroundColourView(content);
        swatch->setFrame(QRectF(20 + i * 34, top - 64, 28, 28));
        swatch->setBackgroundColour(swatches[i]);
    }

    // Progress bars.
    caption(content, QStringLiteral("Progress: 60 % and waiting"), QRectF(380, top - 30, 300, 16));
    auto* determinate = new PLRProgressBar(QRectF(380, top - 48, 300, 8), content);
    determinate->setIndeterminate(false);
    determinate->setDoubleValue(60);
    auto* waiting = new PLRProgressBar(QRectF(380, top - 66, 300, 8), content);
    waiting->startAnimation(waiting);

    // Spinners: running and finished.
    caption(content, QStringLiteral("Spinner"), QRectF(20, top - 96, 200, 16));
    auto* running = new PLRSpinner(QRectF(20, top - 150, 48, 48), content);
    running->startAnimating();
    auto* done = new PLRSpinner(QRectF(80, top - 150, 48, 48), content);
    done->startAnimating();
    done->stopAnimating(true);

    // Status dots and the number pill.
    caption(content, QStringLiteral("Status and badge"), QRectF(160, top - 96, 200, 16));
    for (int i = 0; i < 3; ++i) {
        auto* dot = new PLRStatusIndicatorView(content);
        dot->setFrame(QRectF(160 + i * 30, top - 134, 20, 20));
        dot->setStatusValue(i);
    }
    auto* pill = new PLRNumberPill(content);
    pill->setStringValue(QStringLiteral("12"));
    pill->setTextColor(Color::white());
    pill->setFont(systemFont(12, FontWeight::Bold));
    pill->setAlignment(TextAlignment::Center);
    pill->setFrame(QRectF(260, top - 136, 34, 18));
    pill->awakeFromNib();

    // Sliding button stack.
    caption(content, QStringLiteral("Sliding button stack"), QRectF(380, top - 96, 300, 16));
    auto* stackBackground = new InspectorBGView(content);
    stackBackground->setFrame(QRectF(380, top - 150, 300, 46));
    stackBackground->setDrawBG(true);
    stackBackground->setBgColour(Color::white());
    auto* stack = new PLRSlidingButtonStack(stackBackground);
    stack->setFrame(QRectF(0, 0, 300, 45));
    stack->addCell(QStringLiteral("Website"));
    stack->addCell(QStringLiteral("Blog"));
    stack->addCell(QStringLiteral("Portfolio"));
    stack->setSelectedIndex(1);

    // Form: error box around a field, a secure field and the error label.
    caption(content, QStringLiteral("Form helpers"), QRectF(20, top - 178, 200, 16));
    auto* box = new PLRErrorBox(content);
    box->setFrame(QRectF(20, top - 222, 300, 36));
    box->setBorderColor(namedColor(QStringLiteral("plrControlBorderColor")));
    box->setFillColor(Color::white());
    box->setCornerRadius(4);
    auto* field = new PLRTextField(box);
    field->setFrame(QRectF(6, 6, 288, 24));
    field->setStringValue(QStringLiteral("name@example"));
    auto* errorLabel = caption(content, QStringLiteral("Please enter a valid e-mail address."), QRectF(20, top - 242, 300, 16));
    box->setErrorLabel(errorLabel);
    box->setAssociatedField(field);
    box->awakeFromNib();
    box->setErrorState(true);
    auto* secure = new PLRSecureTextField(content);
    secure->setFrame(QRectF(20, top - 280, 300, 28));
    secure->setStringValue(QStringLiteral("secret"));

    // Hyperlink text and a hover link area.
    auto* link = new PLRHyperLinkView(content);
    link->setFrame(QRectF(20, top - 312, 300, 20));
    link->setStringValue(QStringLiteral("By signing in you accept the terms of service."));
    link->setLinkTitle(QStringLiteral("terms of service"));
    link->setLinkURL(QStringLiteral("https://example.com/terms"));
    link->setTitleColor(namedColor(QStringLiteral("plrTextLinkColor")));
    link->setUnderlineLinkTitle(true);
    link->setFontSize(12.0);

    // Panel background with its separator, a divider, an aspect-filled picture.
    caption(content, QStringLiteral("Panel, divider, aspect fill"), QRectF(380, top - 178, 300, 16));
    auto* panel = new InspectorBGView(content);
    panel->setFrame(QRectF(380, top - 290, 140, 100));
    panel->setDrawBG(true);
    panel->setBgColour(ColorWithHex::smb_inspectorDetailGrey());
    auto* divider = new PLRDividorVeiw(content);
    divider->setFrame(QRectF(530, top - 290, 6, 100));
    QImage picture(120, 120, QImage::Format_ARGB32);
    {
        QPainter painter(&picture);
        painter.fillRect(picture.rect(), QColor(0x6A, 0xB3, 0xFA));
        painter.fillRect(QRect(0, 50, 120, 20), QColor(0xFF, 0xBE, 0x2F));
        painter.setBrush(QColor(0x2A, 0xC9, 0x40));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPoint(60, 60), 14, 14);
    }
    auto* aspect = new PLRAspectFillImageView(content);
    aspect->setFrame(QRectF(546, top - 250, 134, 60));
    aspect->setImage(picture);
    auto* linkArea = new PLRLinkView(content);
    linkArea->setFrame(QRectF(546, top - 290, 134, 30));
    linkArea->setLink(QStringLiteral("https://example.com"));

    auto* textView = new PLRTextView(content);
    textView->setFrame(QRectF(20, top - 400, 660, 76));
    textView->setTextStorage(AttributedString(
        QStringLiteral("A text view with the rounded grey border of the application's text controls."),
        {{kFontAttributeName, systemFont(12)}, {kForegroundColorAttributeName, QVariant::fromValue(namedColor(QStringLiteral("plrTextColor")))}}));

    // Buttons: layer-hosted primary and secondary, gradient, flat, links, check boxes, radio
    // buttons and the help button.
    caption(content, QStringLiteral("Buttons"), QRectF(20, 132, 200, 16));
    auto* primary = new PLRButton(content);
    primary->setFrame(QRectF(20, 90, 120, 32));
    primary->setFont(systemFont(13));
    primary->setTitle(QStringLiteral("Continue"));
    primary->setButtonStyle(PLRButton::Primary);
    primary->awakeFromNib();
    auto* secondary = new PLRButton(content);
    secondary->setFrame(QRectF(150, 90, 120, 32));
    secondary->setFont(systemFont(13));
    secondary->setTitle(QStringLiteral("Back"));
    secondary->setButtonStyle(PLRButton::Secondary);
    secondary->awakeFromNib();
    auto* gradient = new PLRGradientButton(content);
    gradient->setFrame(QRectF(280, 90, 120, 32));
    gradient->setStartColour(ColorWithHex::gradientBlueStartColour());
    gradient->setEndColour(ColorWithHex::gradientBlueEndColour());
    gradient->setDisabledColour(Color(0.85, 0.85, 0.85));
    gradient->setBorderRadius(5);
    gradient->setTitle(QStringLiteral("Publish"));
    gradient->awakeFromNib();
    auto* flat = new PLRFlatButton(content);
    flat->setFrame(QRectF(410, 90, 100, 32));
    flat->setTitle(QStringLiteral("Flat"));
    flat->awakeFromNib();
    auto* moduleLink = new Pellora_Publish::PLRLinkButton(content);
    moduleLink->setFrame(QRectF(520, 96, 80, 20));
    moduleLink->setTitle(QStringLiteral("Un-publish"));
    moduleLink->awakeFromNib();
    auto* plainLink = new PLRLinkButton(content);
    plainLink->setFrame(QRectF(600, 96, 100, 20));
    plainLink->setTitle(QStringLiteral("No plug-in?"));
    plainLink->awakeFromNib();
    auto* checked = new PLRCheckboxButton(content);
    checked->setFrame(QRectF(20, 50, 160, 18));
    checked->setTitle(QStringLiteral("Sharpen photos"));
    checked->setState(Button::StateOn);
    auto* unchecked = new PLRCheckboxButton(content);
    unchecked->setFrame(QRectF(190, 50, 160, 18));
    unchecked->setTitle(QStringLiteral("Create a sub-folder"));
    auto* disabledBox = new PLRCheckboxButton(content);
    disabledBox->setFrame(QRectF(360, 50, 160, 18));
    disabledBox->setTitle(QStringLiteral("Not available"));
    disabledBox->setEnabled(false);
    auto* radioOn = new PLRRadioButton(content);
    radioOn->setFrame(QRectF(20, 20, 160, 18));
    radioOn->setTitle(QStringLiteral("Entire post"));
    radioOn->setState(Button::StateOn);
    auto* radioOff = new PLRRadioButton(content);
    radioOff->setFrame(QRectF(190, 20, 160, 18));
    radioOff->setTitle(QStringLiteral("Collage"));
    auto* help = new PLRHelpButton(content);
    help->setFrame(QRectF(530, 48, 20, 20));
    help->setToolTip(QStringLiteral("The padding new posts start with, in points."));
    help->awakeFromNib();
    // The inspector's controls: switches, box buttons, a pop-up button, a text field, a colour
    // well, a preview, a slider and a stepper.
    caption(content, QStringLiteral("Switches, tiles, pop-up, field, colour, slider, stepper"), QRectF(20, top - 430, 500, 16));
    auto* off = new PLRSwitchButton(QRectF(20, top - 470, 50, 30), content);
    off->setChecked(false);
    auto* on = new PLRSwitchButton(QRectF(80, top - 470, 50, 30), content);
    on->setChecked(true);
    auto* disabledSwitch = new PLRSwitchButton(QRectF(140, top - 470, 50, 30), content);
    disabledSwitch->setChecked(true);
    disabledSwitch->setEnabled(false);
    auto* crop = new PLRBoxButton(content);
    crop->setFrame(QRectF(210, top - 476, 120, 46));
    crop->setUpDefaultContent(QStringLiteral("Crop/Resize"));
    crop->setIsEnabled(true);
    auto* recycle = new PLRBoxButton(content);
    recycle->setFrame(QRectF(340, top - 476, 120, 46));
    recycle->setIsRecycleButton(true);
    recycle->setUpDefaultContent(QStringLiteral("Recycle"));
    recycle->setDisabledTextString(QStringLiteral("Recycle 1 container at a time"));
    recycle->setIsEnabled(false);
    auto* popup = new PLRPopupButton(content);
    popup->setFrame(QRectF(480, top - 474, 140, 30));
    for (const char* ratio : {"3:2", "2:3", "1:1", "16:9"})
        popup->addItem(QString::fromLatin1(ratio), popup->numberOfItems());
    popup->selectItemWithTag(2);
    popup->setButtonStyle(2);
    auto* cellField = new PLRTextFieldCell(content);
    cellField->setFrame(QRectF(20, top - 520, 200, 26));
    cellField->setStringValue(QStringLiteral("Trams of Lisbon"));
    auto* well = new PLRColorWell(content);
    well->setFrame(QRectF(240, top - 518, 44, 22));
    well->setColor(ColorWithHex::smb_blueColour());
    auto* slider = new PLRSlider(content);
    slider->setFrame(QRectF(300, top - 520, 208, 26));
    slider->setMinValue(0);
    slider->setMaxValue(100);
    slider->setDoubleValue(50);
    slider->setNumberOfTickMarks(5);
    auto* stepper = new PLRStepper(content);
    stepper->setFrame(QRectF(530, top - 522, 19, 30));
    auto* preview = new PLRImagePreviewImageView(content);
    preview->setFrame(QRectF(570, top - 560, 110, 70));
    preview->setImage(picture);

    // Every control in each state: normal, hover, pressed, focused, disabled.
    const double gridX = 720;
    const QStringList columnNames{QStringLiteral("normal"), QStringLiteral("hover"), QStringLiteral("pressed"),
                                  QStringLiteral("focused"), QStringLiteral("disabled")};
    constexpr double kCellWidth = 96, kRowHeight = 52;
    for (int c = 0; c < ColumnCount; ++c)
        caption(content, columnNames[c], QRectF(gridX + 84 + c * kCellWidth, top - 30, kCellWidth, 16));
    const QList<StateRow> rows = stateRows();
    QList<QPair<QWidget*, QRectF>> focusCells;
    for (int r = 0; r < rows.size(); ++r) {
        const double y = top - 70 - r * kRowHeight;
        caption(content, rows[r].name, QRectF(gridX, y + 6, 80, 16));
        for (int c = 0; c < ColumnCount; ++c) {
            const QRectF cell(gridX + 84 + c * kCellWidth, y, kCellWidth - 14, 28);
            QWidget* control = rows[r].make(content, cell);
            control->show();
            showState(control, StateColumn(c), rows[r]);
            if (c == Focused)
                focusCells.append({control, cell});
        }
    }

    window.makeKeyAndOrderFront();
    if (!screenshot.isEmpty())
        AnimationClock::shared().advance(0.9);   // state changes have settled
    // One control has keyboard focus at a time: each focused cell is captured while its control
    // has it, and the capture is shown in its place.
    QApplication::processEvents();
    for (const auto& [control, cell] : focusCells) {
        if (control->focusPolicy() == Qt::NoFocus && !control->focusProxy())
            continue;   // takes no focus: its focused look is its normal one
        control->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        const QRect area = control->geometry().adjusted(-6, -6, 6, 6);
        // The whole window is drawn (the ring lies outside the control) and the cell cut out.
        const QImage whole = window.grab().toImage();
        const double dpr = whole.devicePixelRatio();
        const QRect inWindow(content->mapTo(&window, area.topLeft()), area.size());
        QImage captured = whole.copy(QRect((QPointF(inWindow.topLeft()) * dpr).toPoint(), (QSizeF(inWindow.size()) * dpr).toSize()));
        captured.setDevicePixelRatio(dpr);
        control->clearFocus();
        control->hide();
        auto* shown = new ImageView(content);
        shown->setImageScaling(ImageScaling::None);
        shown->setImage(captured);
        shown->setGeometry(area);
        shown->show();
    }
    if (screenshot.isEmpty())
        return app.exec();

    QTimer::singleShot(200, [&] {
        AnimationClock::shared().advance(0.9);
        QApplication::processEvents();
        const QImage image = window.grab().toImage();
        const bool saved = image.save(screenshot);
        app.exit(saved ? 0 : 1);
    });
    return app.exec();
}
