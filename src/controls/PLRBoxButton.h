#pragma once

#include "platform-ui/Controls.h"

#include <QImage>
#include <QPointer>

#include <functional>

// What a box button tells its owner.
class PLRBoxButtonDelegate {
public:
    virtual ~PLRBoxButtonDelegate() = default;
    virtual void recycleButtonClicked() = 0;
    virtual void cropButtonClicked() = 0;
    virtual void recycleButtonMouseOver() = 0;
    virtual void recycleButtonMouseExit() = 0;
};

// A clickable tile: a box holding an icon in a small inner box and a caption. It changes the
// colours of the boxes and the caption and the icon to show idle, hover, pressed and disabled
// looks, and reports clicks (and, for the recycle tile, hover changes) to its delegate. An
// enabled tile is reached by Tab, shows the focus ring while it has the keyboard, and Space or
// Return clicks it.
class PLRBoxButton : public platform::ui::Box {
    Q_OBJECT
public:
    explicit PLRBoxButton(QWidget* parent = nullptr);

    // Builds the inner box, icon and caption as the page's layout has them (an owner may set
    // its own with setLabel, setImage and setImageBox instead), then wakes up.
    void setUpDefaultContent(const QString& caption);
    void awakeFromNib();

    platform::ui::Color boxButtonHighlightColor() const { return m_highlightColor; }
    platform::ui::Color boxButtonBorderColor() const { return m_borderColor; }
    platform::ui::Color boxButtonLabelColorDisabled() const { return m_labelColorDisabled; }

    platform::ui::TextField* label() const { return m_label; }
    void setLabel(platform::ui::TextField* label) { m_label = label; }
    platform::ui::ImageView* image() const { return m_image; }
    void setImage(platform::ui::ImageView* image) { m_image = image; }
    platform::ui::Box* imageBox() const { return m_imageBox; }
    void setImageBox(platform::ui::Box* box) { m_imageBox = box; }

    PLRBoxButtonDelegate* delegate() const { return m_delegate; }
    void setDelegate(PLRBoxButtonDelegate* delegate, QObject* lifetime = nullptr);
    QString enabledTextString() const { return m_enabledTextString; }
    QString disabledTextString() const { return m_disabledTextString; }
    void setDisabledTextString(const QString& text) { m_disabledTextString = text; }
    bool isEnabled() const { return m_isEnabled; }
    // Stores the value and restyles the tile, also when unchanged.
    void setIsEnabled(bool enabled);
    bool isRecycleButton() const { return m_isRecycleButton; }
    void setIsRecycleButton(bool recycle) { m_isRecycleButton = recycle; }
    bool isMouseOver() const { return m_isMouseOver; }
    bool isMouseDown() const { return m_isMouseDown; }

    // The icon for a look, from the recycle or the crop set.
    QImage normalImage() const;
    QImage pressedImage() const;
    QImage disabledImage() const;

    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseCancelled() override;

    bool drawsFocusRing() const override { return focusPolicy() != Qt::NoFocus; }
    void drawFocusRingMask(platform::ui::GraphicsContext& context) override;

    // Where the pointer is now, in the tile's coordinates (tests replace it; null restores it).
    using PointerLocator = std::function<QPointF(const PLRBoxButton* tile)>;
    static void setPointerLocator(PointerLocator locator);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void updateTrackingAreas() override;
    void layoutSubviews() override;

private:
    void refreshEnabledLook();
    void setCaptionColor(const platform::ui::Color& color);
    void setIcon(const QImage& image);
    void exitedLook();
    void checkPointerAfterClick();
    // Tells the delegate of a click (false: there is none to tell).
    bool tellDelegateOfClick();

    platform::ui::Color m_highlightColor;
    platform::ui::Color m_borderColor;
    platform::ui::Color m_labelColorDisabled;
    QImage m_recycleEnabled, m_recyclePressed, m_recycleDisabled;
    QImage m_cropEnabled, m_cropPressed, m_cropDisabled;
    bool m_isMouseOver = false;
    bool m_isMouseDown = false;
    // The delegate heard of the pointer entering and not yet of it leaving.
    bool m_hoverAnnounced = false;
    QPointer<platform::ui::TextField> m_label;
    QPointer<platform::ui::ImageView> m_image;
    QPointer<platform::ui::Box> m_imageBox;
    QString m_enabledTextString;
    PLRBoxButtonDelegate* m_delegate = nullptr;
    QPointer<QObject> m_delegateLifetime;
    bool m_delegateHasLifetime = false;
    QString m_disabledTextString;
    bool m_isEnabled = true;
    bool m_isRecycleButton = false;
    platform::ui::TrackingArea* m_trackingArea = nullptr;
    bool m_placesDefaultContent = false;
};
