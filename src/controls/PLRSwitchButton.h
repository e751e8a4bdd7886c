#pragma once

#include "platform-ui/Controls.h"
#include "platform-ui/Layer.h"

#include <QPointer>
#include <QVariant>

#include <functional>

// An on/off slide switch (rounded track, white knob) drawn with layers. Every release of a press
// toggles it; once the pointer has moved kDragThreshold away from the press, the knob follows it
// to the side under the pointer until the release. With keyboard focus (it shows a focus ring),
// Space toggles it and the left and right keys turn it off and on.
// Every change the user makes sends the action. The value can be bound to a property of another
// object ("checked"), which then follows every change.
class PLRSwitchButton : public platform::ui::Control {
    Q_OBJECT
    Q_PROPERTY(bool checked READ checked WRITE setChecked)
public:
    static constexpr double kGoldenRatio = 1.6180340051651;
    // How far the pointer moves from the press before the press counts as a drag (a click with
    // a little jitter stays a click).
    static constexpr double kDragThreshold = 3.0;
    static inline const char* kBindingChecked = "checked";

    explicit PLRSwitchButton(QWidget* parent = nullptr);
    explicit PLRSwitchButton(const QRectF& frame, QWidget* parent = nullptr);

    bool checked() const { return m_checked; }
    // Stores the state (and pushes a changed one to the binding); redraws in every case.
    void setChecked(bool checked);
    void setEnabled(bool enabled);

    platform::ui::Color tintColor() const;
    void setTintColor(const platform::ui::Color& color);
    platform::ui::Color disabledBorderColor() const;
    void setDisabledBorderColor(const platform::ui::Color& color);

    bool isActive() const { return m_active; }
    bool isDragged() const { return m_dragged; }
    bool isDraggingTowardsOn() const { return m_draggingTowardsOn; }

    // Binds "checked" to the property (key path) of an object; a reverse transformer, when
    // given, turns the switch's value into the model's. An empty key path or a null object is
    // logged when a value is pushed.
    struct Binding {
        QPointer<QObject> observedObject;
        QString observedKeyPath;
        bool hasTransformer = false;
        // Null for a transformer that cannot run backwards.
        std::function<QVariant(const QVariant&)> reverseTransform;
    };
    void bind(const QString& binding, const Binding& info);
    void unbind(const QString& binding);

    // The layers (for inspection).
    platform::ui::Layer* rootLayer() const { return m_rootLayer; }
    platform::ui::Layer* backgroundLayer() const { return m_backgroundLayer; }
    platform::ui::Layer* knobLayer() const { return m_knobLayer; }
    platform::ui::Layer* knobInsideLayer() const { return m_knobInsideLayer; }

    static double knobHeightForSize(const QSizeF& size) { return size.height() - 2.0; }
    QRectF rectForKnob() const;

    // Events.
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseDragged(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseCancelled() override;
    void moveLeft();
    void moveRight();
    // Space while the switch has keyboard focus; answers whether it acted.
    bool performKeyEquivalent(int key);
    void performClick() override;
    // The focus ring follows the track's rounded shape.
    void drawFocusRingMask(platform::ui::GraphicsContext& context) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Enabling or disabling, also through a superview, changes the look.
    void changeEvent(QEvent* event) override;
    void layoutSubviews() override;

private:
    void setUp();
    void setUpLayers();
    void reloadLayer();
    void reloadLayerSize();
    void invokeTargetAction();
    void propagateValue(const QVariant& value, const QString& binding);

    bool m_checked = false;
    std::optional<platform::ui::Color> m_tintColor;
    std::optional<platform::ui::Color> m_disabledBorderColor;
    bool m_active = false;
    bool m_dragged = false;
    bool m_draggingTowardsOn = false;
    QPointF m_pressPoint;
    platform::ui::Layer* m_rootLayer = nullptr;
    platform::ui::Layer* m_backgroundLayer = nullptr;
    platform::ui::Layer* m_knobLayer = nullptr;
    platform::ui::Layer* m_knobInsideLayer = nullptr;
    QHash<QString, Binding> m_bindings;
};
