#pragma once

#include "platform-ui/Animation.h"
#include "platform-ui/Color.h"
#include "platform-ui/GraphicsContext.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace platform::ui {

class Layer;

// Contents gravity names.
inline constexpr auto kGravityResize = "resize";
inline constexpr auto kGravityResizeAspect = "resizeAspect";
inline constexpr auto kGravityResizeAspectFill = "resizeAspectFill";
inline constexpr auto kGravityCenter = "center";

// Autoresizing of a sublayer when its superlayer's bounds change (fixed bit values).
enum LayerAutoresizing : unsigned {
    LayerNotSizable = 0, LayerMinXMargin = 1, LayerWidthSizable = 2, LayerMaxXMargin = 4,
    LayerMinYMargin = 8, LayerHeightSizable = 16, LayerMaxYMargin = 32
};

// What a layer's delegate may do for it. All optional.
class LayerDelegate {
public:
    virtual ~LayerDelegate() = default;
    // Gives the layer its contents; answer true when handled.
    virtual bool displayLayer(Layer*) { return false; }
    // Draws the layer's own content (between background and sublayers); answer true when drawn.
    virtual bool drawLayer(Layer*, GraphicsContext&) { return false; }
    // nullopt: no opinion; a null animation: no action; else the action for the key.
    virtual std::optional<std::shared_ptr<Animation>> actionForLayer(Layer*, const QString& /*key*/) { return std::nullopt; }
};

// Every property a layer of any kind has (plain, shape, text); animations work on copies of it.
struct LayerState {
    QRectF bounds;
    QPointF position;
    QPointF anchorPoint{0.5, 0.5};
    double rotation = 0.0; // about z, radians
    double opacity = 1.0;
    bool hidden = false;
    bool geometryFlipped = false;
    std::optional<Color> backgroundColor;
    std::optional<Color> borderColor = Color::black();
    double borderWidth = 0.0;
    double cornerRadius = 0.0;
    bool masksToBounds = false;
    std::optional<Color> shadowColor = Color::black();
    double shadowOpacity = 0.0;
    double shadowRadius = 3.0;
    QSizeF shadowOffset{0.0, -3.0};
    std::optional<QPainterPath> shadowPath;
    QImage contents;
    QString contentsGravity = QString::fromLatin1(kGravityResize);
    QRectF contentsCenter{0, 0, 1, 1};
    // Shape layers.
    QPainterPath path;
    std::optional<Color> fillColor = Color::black();
    std::optional<Color> strokeColor;
    double lineWidth = 1.0;
    double strokeStart = 0.0;
    double strokeEnd = 1.0;
    // Text layers.
    QString string;
    QFont font;
    double fontSize = 36.0;
    std::optional<Color> foregroundColor = Color::white();

    QVariant value(const QString& keyPath) const;
    bool setValue(const QString& keyPath, const QVariant& value);
};

// A node of the layer tree. A layer owns its sublayers; a layer's
// position lies in its superlayer's bounds coordinates (y up unless geometry-flipped) and is
// where its anchor point sits.
class Layer {
public:
    enum class Kind { Plain, Shape, Text };
    Layer();
    virtual ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;
    Kind kind() const { return m_kind; }

    QString name;

    // Geometry.
    QRectF bounds() const { return m_state.bounds; }
    void setBounds(const QRectF& bounds);
    QPointF position() const { return m_state.position; }
    void setPosition(const QPointF& position);
    QPointF anchorPoint() const { return m_state.anchorPoint; }
    void setAnchorPoint(const QPointF& anchor);
    QRectF frame() const;
    void setFrame(const QRectF& frame);
    double rotation() const { return m_state.rotation; }
    void setRotation(double radians);
    bool isGeometryFlipped() const { return m_state.geometryFlipped; }
    void setGeometryFlipped(bool flipped) { m_state.geometryFlipped = flipped; changed(); }
    unsigned autoresizingMask() const { return m_autoresizingMask; }
    void setAutoresizingMask(unsigned mask) { m_autoresizingMask = mask; }

    // Looks.
    double opacity() const { return m_state.opacity; }
    void setOpacity(double opacity);
    bool isHidden() const { return m_state.hidden; }
    void setHidden(bool hidden);
    std::optional<Color> backgroundColor() const { return m_state.backgroundColor; }
    void setBackgroundColor(std::optional<Color> color);
    std::optional<Color> borderColor() const { return m_state.borderColor; }
    void setBorderColor(std::optional<Color> color);
    double borderWidth() const { return m_state.borderWidth; }
    void setBorderWidth(double width);
    double cornerRadius() const { return m_state.cornerRadius; }
    void setCornerRadius(double radius);
    bool masksToBounds() const { return m_state.masksToBounds; }
    void setMasksToBounds(bool masks) { m_state.masksToBounds = masks; changed(); }
    std::optional<Color> shadowColor() const { return m_state.shadowColor; }
    void setShadowColor(std::optional<Color> color);
    double shadowOpacity() const { return m_state.shadowOpacity; }
    void setShadowOpacity(double opacity);
    double shadowRadius() const { return m_state.shadowRadius; }
    void setShadowRadius(double radius);
    QSizeF shadowOffset() const { return m_state.shadowOffset; }
    void setShadowOffset(const QSizeF& offset);
    std::optional<QPainterPath> shadowPath() const { return m_state.shadowPath; }
    void setShadowPath(std::optional<QPainterPath> path) { m_state.shadowPath = std::move(path); changed(); }
    QImage contents() const { return m_state.contents; }
    void setContents(const QImage& image) { m_state.contents = image; changed(); }
    QString contentsGravity() const { return m_state.contentsGravity; }
    void setContentsGravity(const QString& gravity) { m_state.contentsGravity = gravity; changed(); }
    QRectF contentsCenter() const { return m_state.contentsCenter; }
    void setContentsCenter(const QRectF& center) { m_state.contentsCenter = center; changed(); }
    bool needsDisplayOnBoundsChange() const { return m_needsDisplayOnBoundsChange; }
    void setNeedsDisplayOnBoundsChange(bool on) { m_needsDisplayOnBoundsChange = on; }
    bool shouldRasterize() const { return m_shouldRasterize; }
    void setShouldRasterize(bool on) { m_shouldRasterize = on; }

    // Generic access by key path ("position.x", "bounds.size.width", "transform.rotation.z", ...).
    QVariant valueForKeyPath(const QString& keyPath) const { return m_state.value(keyPath); }
    // Sets the value, running the implicit action of the key as a property setter would.
    void setValueForKeyPath(const QString& keyPath, const QVariant& value);

    // Tree.
    Layer* superlayer() const { return m_superlayer; }
    const std::vector<std::unique_ptr<Layer>>& sublayers() const { return m_sublayers; }
    template <class T> T* addSublayer(std::unique_ptr<T> layer) { T* raw = layer.get(); insertSublayer(std::move(layer), int(m_sublayers.size())); return raw; }
    void insertSublayer(std::unique_ptr<Layer> layer, int index);
    // Detaches the layer; the caller gets ownership back (dropping it deletes the layer).
    std::unique_ptr<Layer> removeFromSuperlayer();

    // Delegate (not owned) and display.
    LayerDelegate* delegate() const { return m_delegate; }
    void setDelegate(LayerDelegate* delegate) { m_delegate = delegate; }
    void setNeedsDisplay();
    bool needsDisplay() const { return m_needsDisplay; }
    // Asks the delegate for contents where needed, in this layer and below.
    void displayIfNeeded();
    // Called when anything visible changes (a host view repaints).
    void setChangeHandler(std::function<void()> handler) { m_changeHandler = std::move(handler); }

    // Actions: the table maps a key to an action; a null entry means "no action".
    using ActionTable = std::map<QString, std::shared_ptr<Animation>>;
    const ActionTable& actions() const { return m_actions; }
    void setActions(ActionTable actions) { m_actions = std::move(actions); }
    // The action for a key, or null when none runs (disabled transaction, table entry, delegate).
    std::shared_ptr<Animation> actionForKey(const QString& key);

    // Explicit animations.
    void addAnimation(std::unique_ptr<Animation> animation, const QString& key);
    void removeAnimation(const QString& key);
    void removeAllAnimations();
    const Animation* animationForKey(const QString& key) const;
    QStringList animationKeys() const;
    double animationStartTime(const QString& key) const;
    bool hasAnimationsInTree() const;

    // The state as shown at the clock's time (animations applied); drops finished animations
    // that are removed on completion.
    LayerState presentationState(double time);
    LayerState presentationState() { return presentationState(AnimationClock::shared().now()); }
    const LayerState& modelState() const { return m_state; }

    // Paints the layer tree at the clock's time. The painter's user space is the superlayer's.
    void render(QPainter& painter, double time);
    // Paints only the shadows of the layer tree (for a view whose shadows reach beyond it).
    void renderShadows(QPainter& painter, double time);
    // How far the tree's shadows may reach beyond this layer's bounds (0 without shadows).
    double shadowOverhang() const;
    // Where the layer's own content is drawn, between background/contents and sublayers.
    virtual void drawContent(GraphicsContext& context, const LayerState& state);

protected:
    explicit Layer(Kind kind);
    void setAnimated(const QString& key, const QString& actionKey, const QVariant& value);
    void changed();
    LayerState m_state;

private:
    void resizeSublayers(const QSizeF& oldSize);
    // Moves the painter into this layer's own space (position, rotation, flip).
    static void enterLayerSpace(QPainter& painter, const LayerState& s);
    void paintShadow(QPainter& painter, const LayerState& s);
    struct Running {
        QString key;
        std::unique_ptr<Animation> animation;
        double start = 0.0;
    };
    Kind m_kind;
    Layer* m_superlayer = nullptr;
    std::vector<std::unique_ptr<Layer>> m_sublayers;
    LayerDelegate* m_delegate = nullptr;
    ActionTable m_actions;
    std::vector<Running> m_animations;
    unsigned m_autoresizingMask = 0;
    bool m_needsDisplay = false;
    bool m_needsDisplayOnBoundsChange = false;
    bool m_shouldRasterize = false;
    std::function<void()> m_changeHandler;
};

// A layer that draws a path.
class ShapeLayer : public Layer {
public:
    ShapeLayer();
    QPainterPath path() const { return m_state.path; }
    void setPath(const QPainterPath& path) { m_state.path = path; changed(); }
    std::optional<Color> fillColor() const { return m_state.fillColor; }
    void setFillColor(std::optional<Color> color);
    std::optional<Color> strokeColor() const { return m_state.strokeColor; }
    void setStrokeColor(std::optional<Color> color);
    double lineWidth() const { return m_state.lineWidth; }
    void setLineWidth(double width);
    double strokeStart() const { return m_state.strokeStart; }
    void setStrokeStart(double value);
    double strokeEnd() const { return m_state.strokeEnd; }
    void setStrokeEnd(double value);
    void drawContent(GraphicsContext& context, const LayerState& state) override;
};

// A layer that draws its text on one line (a longer text runs past the bounds, as far as they
// do not mask it); a wrapped layer breaks its text into lines at the bounds' width instead.
class TextLayer : public Layer {
public:
    TextLayer();
    QString string() const { return m_state.string; }
    void setString(const QString& string) { m_state.string = string; changed(); }
    QFont font() const { return m_state.font; }
    void setFont(const QFont& font) { m_state.font = font; changed(); }
    double fontSize() const { return m_state.fontSize; }
    void setFontSize(double size);
    std::optional<Color> foregroundColor() const { return m_state.foregroundColor; }
    void setForegroundColor(std::optional<Color> color);
    TextAlignment alignment = TextAlignment::Natural;
    bool wrapped = false;
    void drawContent(GraphicsContext& context, const LayerState& state) override;
};

} // namespace platform::ui
