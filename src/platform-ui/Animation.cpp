#include "platform-ui/Animation.h"
#include "platform/Resets.h"
#include "platform/Clock.h"

#include "platform-ui/Color.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <cmath>

namespace platform::ui {

double TimingFunction::evaluate(double t) const
{
    if (t <= 0.0)
        return 0.0;
    if (t >= 1.0)
        return 1.0;
    if (m_x1 == m_y1 && m_x2 == m_y2)
        return t;
    auto bezier = [](double p1, double p2, double s) {
        const double inv = 1.0 - s;
        return 3.0 * inv * inv * s * p1 + 3.0 * inv * s * s * p2 + s * s * s;
    };
    // Solve x(s) = t by bisection (x is monotonic for control x in 0..1).
    double lo = 0.0, hi = 1.0, s = t;
    for (int i = 0; i < 60; ++i) {
        s = (lo + hi) / 2.0;
        const double x = bezier(m_x1, m_x2, s);
        if (std::abs(x - t) < 1e-12)
            break;
        (x < t ? lo : hi) = s;
    }
    return bezier(m_y1, m_y2, s);
}

AnimationClock& AnimationClock::shared()
{
    static AnimationClock clock;
    return clock;
}

double AnimationClock::now() const
{
    // Kept above zero: a begin time of 0 means "when added".
    return platform::Clock::shared().now() + 1.0;
}

void AnimationClock::setManual(bool manual)
{
    if (manual == isManual())
        return;
    if (manual)
        platform::ManualClock::install();
    else
        platform::Clock::setShared(nullptr);
}

bool AnimationClock::isManual() const
{
    return platform::Clock::shared().isManual();
}

void AnimationClock::advance(double seconds)
{
    platform::ManualClock* clock = platform::ManualClock::current();
    if (!clock)
        clock = &platform::ManualClock::install();
    clock->advance(seconds);
    emit advanced();
}

double Animation::activeDuration() const
{
    if (std::isinf(repeatCount) || repeatCount >= kRepeatForever)
        return std::numeric_limits<double>::infinity();
    const double repeats = repeatCount > 0.0 ? repeatCount : 1.0;
    return effectiveDuration() * repeats * (autoreverses ? 2.0 : 1.0) / (speed > 0 ? speed : 1.0);
}

std::optional<double> Animation::iterationFraction(double localTime, bool*) const
{
    const double active = activeDuration();
    const double d = effectiveDuration() * (autoreverses ? 2.0 : 1.0);
    double t = localTime * (speed > 0 ? speed : 1.0);
    if (localTime < 0.0) {
        if (fillMode != FillMode::Backwards && fillMode != FillMode::Both)
            return std::nullopt;
        t = 0.0;
    } else if (localTime >= active) {
        if (fillMode != FillMode::Forwards && fillMode != FillMode::Both)
            return std::nullopt;
        const double repeats = repeatCount > 0.0 ? repeatCount : 1.0;
        const double end = repeats - std::floor(repeats);
        double f = end > 0.0 ? end : 1.0;
        if (autoreverses)
            f = 0.0;
        return f;
    }
    double within = std::fmod(t, d) / effectiveDuration();
    if (autoreverses && within > 1.0)
        within = 2.0 - within;
    return std::clamp(within, 0.0, 1.0);
}

void Animation::apply(double localTime, const std::function<QVariant(const QString&)>& modelValue,
                      const Visitor& visit) const
{
    const auto fraction = iterationFraction(localTime);
    if (!fraction)
        return;
    const double iterationTime = *fraction * effectiveDuration();
    applyFraction(timingFunction.evaluate(*fraction), iterationTime, modelValue, visit);
}

void BasicAnimation::applyFraction(double fraction, double, const std::function<QVariant(const QString&)>& modelValue,
                                   const Visitor& visit) const
{
    const QVariant from = fromValue.isValid() ? fromValue : modelValue(keyPath);
    const QVariant to = toValue.isValid() ? toValue : modelValue(keyPath);
    visit(keyPath, interpolateValue(from, to, fraction));
}

AnimationGroup::AnimationGroup(const AnimationGroup& other) : Animation(other)
{
    for (const auto& animation : other.animations)
        animations.push_back(animation->clone());
}

void AnimationGroup::applyFraction(double, double iterationTime, const std::function<QVariant(const QString&)>& modelValue,
                                   const Visitor& visit) const
{
    // Children run on the group's own (uneased) time within the current iteration.
    for (const auto& animation : animations)
        animation->apply(iterationTime - animation->beginTime, modelValue, visit);
}

QVariant interpolateValue(const QVariant& from, const QVariant& to, double f)
{
    if (!from.isValid())
        return to;
    if (!to.isValid())
        return from;
    const int type = from.metaType().id();
    if (type == QMetaType::QPointF) {
        const QPointF a = from.toPointF(), b = to.toPointF();
        return a + (b - a) * f;
    }
    if (type == QMetaType::QSizeF) {
        const QSizeF a = from.toSizeF(), b = to.toSizeF();
        return a + (b - a) * f;
    }
    if (type == QMetaType::QRectF) {
        const QRectF a = from.toRectF(), b = to.toRectF();
        return QRectF(a.x() + (b.x() - a.x()) * f, a.y() + (b.y() - a.y()) * f,
                      a.width() + (b.width() - a.width()) * f, a.height() + (b.height() - a.height()) * f);
    }
    if (from.canConvert<Color>() && from.metaType() == QMetaType::fromType<Color>())
        return QVariant::fromValue(Color::interpolate(from.value<Color>(), to.value<Color>(), f));
    bool okA = false, okB = false;
    const double a = from.toDouble(&okA), b = to.toDouble(&okB);
    if (okA && okB)
        return a + (b - a) * f;
    return f < 1.0 ? from : to;
}

namespace {
struct TransactionState {
    bool disableActions = false;
    std::optional<double> duration;
    std::optional<TimingFunction> timing;
};
std::vector<TransactionState>& transactionStack()
{
    static std::vector<TransactionState> stack;
    static const bool joined = platform::resets::add([] { stack.clear(); });
    (void)joined;
    return stack;
}
} // namespace

void Transaction::begin()
{
    auto& stack = transactionStack();
    // A nested transaction starts with its parent's settings.
    stack.push_back(stack.empty() ? TransactionState{} : stack.back());
}

void Transaction::commit()
{
    auto& stack = transactionStack();
    if (!stack.empty())
        stack.pop_back();
}

void Transaction::setDisableActions(bool disable)
{
    if (!transactionStack().empty())
        transactionStack().back().disableActions = disable;
}

bool Transaction::disableActions()
{
    return !transactionStack().empty() && transactionStack().back().disableActions;
}

void Transaction::setAnimationDuration(double seconds)
{
    if (!transactionStack().empty())
        transactionStack().back().duration = seconds;
}

double Transaction::animationDuration()
{
    if (!transactionStack().empty() && transactionStack().back().duration)
        return *transactionStack().back().duration;
    return 0.25;
}

void Transaction::setAnimationTimingFunction(std::optional<TimingFunction> function)
{
    if (!transactionStack().empty())
        transactionStack().back().timing = function;
}

std::optional<TimingFunction> Transaction::animationTimingFunction()
{
    return transactionStack().empty() ? std::nullopt : transactionStack().back().timing;
}

int Transaction::depth() { return int(transactionStack().size()); }

} // namespace platform::ui
