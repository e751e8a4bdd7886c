#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace platform::ui {

// A cubic timing curve from (0,0) to (1,1) with two control points.
class TimingFunction {
public:
    TimingFunction() = default; // linear
    TimingFunction(double x1, double y1, double x2, double y2) : m_x1(x1), m_y1(y1), m_x2(x2), m_y2(y2) {}
    static TimingFunction linear() { return {0.0, 0.0, 1.0, 1.0}; }
    static TimingFunction easeIn() { return {0.42, 0.0, 1.0, 1.0}; }
    static TimingFunction easeOut() { return {0.0, 0.0, 0.58, 1.0}; }
    static TimingFunction easeInEaseOut() { return {0.42, 0.0, 0.58, 1.0}; }
    static TimingFunction defaultFunction() { return {0.25, 0.1, 0.25, 1.0}; }
    // The eased fraction for an input fraction in 0..1.
    double evaluate(double t) const;
    bool operator==(const TimingFunction&) const = default;
private:
    double m_x1 = 0.0, m_y1 = 0.0, m_x2 = 1.0, m_y2 = 1.0;
};

// The media time all animations read: the shared platform::Clock's. Under a manual clock
// (tests) it stands still until advanced; advance() also tells the views and running
// animations to look again.
class AnimationClock : public QObject {
    Q_OBJECT
public:
    static AnimationClock& shared();
    double now() const;
    // Manual: puts a manual clock in place unless one is; otherwise the system clock.
    void setManual(bool manual);
    bool isManual() const;
    // Advances the shared manual clock (putting one in place first if needed).
    void advance(double seconds);
signals:
    void advanced();
private:
    AnimationClock() = default;
};

inline constexpr double kRepeatForever = std::numeric_limits<float>::max();

enum class FillMode { Removed, Forwards, Backwards, Both };

// The timing of an animation: begin time, duration, speed, repeats, autoreverse and fill mode.
class Animation {
public:
    virtual ~Animation() = default;
    virtual std::unique_ptr<Animation> clone() const = 0;

    double beginTime = 0.0;      // top level: absolute (0 = when added); in a group: relative to the group
    double duration = 0.0;       // 0 counts as 0.25 s
    double repeatCount = 0.0;    // 0 counts as once; kRepeatForever (or infinity) never ends
    double speed = 1.0;
    bool autoreverses = false;
    TimingFunction timingFunction = TimingFunction::linear();
    FillMode fillMode = FillMode::Removed;
    bool removedOnCompletion = true;
    std::function<void(bool finished)> didStop;

    double effectiveDuration() const { return duration > 0.0 ? duration : 0.25; }
    // The active span (duration times repeats); infinity for a forever animation.
    double activeDuration() const;

    // Calls visitor(keyPath, value) for each property the animation sets at the local time
    // (seconds since its begin time). Nothing when it has no effect at that time.
    using Visitor = std::function<void(const QString& keyPath, const QVariant& value)>;
    void apply(double localTime, const std::function<QVariant(const QString&)>& modelValue, const Visitor& visit) const;
    bool isFinishedAt(double localTime) const { return localTime >= activeDuration(); }

protected:
    // The fraction into one iteration at local time, or nullopt when inactive.
    std::optional<double> iterationFraction(double localTime, bool* eased = nullptr) const;
    virtual void applyFraction(double fraction, double iterationTime, const std::function<QVariant(const QString&)>& modelValue,
                               const Visitor& visit) const = 0;
};

// Animates one property from a value to a value.
class BasicAnimation : public Animation {
public:
    explicit BasicAnimation(QString path = {}) : keyPath(std::move(path)) {}
    static std::unique_ptr<BasicAnimation> withKeyPath(const QString& path) { return std::make_unique<BasicAnimation>(path); }
    std::unique_ptr<Animation> clone() const override { return std::make_unique<BasicAnimation>(*this); }

    QString keyPath;
    QVariant fromValue;  // invalid: the model value
    QVariant toValue;    // invalid: the model value
protected:
    void applyFraction(double fraction, double iterationTime, const std::function<QVariant(const QString&)>& modelValue,
                       const Visitor& visit) const override;
};

// Runs its animations together, in its own time.
class AnimationGroup : public Animation {
public:
    AnimationGroup() = default;
    AnimationGroup(const AnimationGroup& other);
    std::unique_ptr<Animation> clone() const override { return std::make_unique<AnimationGroup>(*this); }
    std::vector<std::unique_ptr<Animation>> animations;
protected:
    void applyFraction(double fraction, double iterationTime, const std::function<QVariant(const QString&)>& modelValue,
                       const Visitor& visit) const override;
};

// Interpolates two animation values (double, QPointF, QSizeF, QRectF, Color).
QVariant interpolateValue(const QVariant& from, const QVariant& to, double fraction);

// Layer transactions: nestable; the innermost open transaction's settings apply.
class Transaction {
public:
    static void begin();
    static void commit();
    static void setDisableActions(bool disable);
    static bool disableActions();
    static void setAnimationDuration(double seconds);
    static double animationDuration();                   // 0.25 unless set
    static void setAnimationTimingFunction(std::optional<TimingFunction> function);
    static std::optional<TimingFunction> animationTimingFunction();
    static int depth();
};

// Begins a transaction and commits it when it goes out of scope.
class TransactionScope {
public:
    explicit TransactionScope(bool disableActions = false)
    {
        Transaction::begin();
        if (disableActions)
            Transaction::setDisableActions(true);
    }
    ~TransactionScope() { Transaction::commit(); }
    TransactionScope(const TransactionScope&) = delete;
    TransactionScope& operator=(const TransactionScope&) = delete;
};

} // namespace platform::ui
