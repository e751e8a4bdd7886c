#include "shell/PLRAnimationContext.h"
#include "platform/Resets.h"

#include <QTimer>

#include <algorithm>

using namespace platform::ui;

PLRLayoutConstraint::PLRLayoutConstraint(QWidget* view, double constant, QObject* parent)
    : QObject(parent), m_view(view), m_constant(constant)
{
}

void PLRLayoutConstraint::setConstant(double constant)
{
    if (m_constant == constant)
        return;
    m_constant = constant;
    emit constantChanged();
}

namespace {

double currentValue(const PLRAnimationContext::Track& track)
{
    if (!track.target)
        return 0.0;
    if (track.kind == PLRAnimationContext::Track::Kind::Alpha)
        return static_cast<View*>(track.target.data())->alphaValue();
    return static_cast<PLRLayoutConstraint*>(track.target.data())->constant();
}

void applyValue(const PLRAnimationContext::Track& track, double value)
{
    if (!track.target)
        return;
    if (track.kind == PLRAnimationContext::Track::Kind::Alpha)
        static_cast<View*>(track.target.data())->setAlphaValue(value);
    else
        static_cast<PLRLayoutConstraint*>(track.target.data())->setConstant(value);
}

} // namespace

// Runs the started groups on the clock.
class PLRAnimator : public QObject {
public:
    struct Running {
        double start = 0.0;
        double duration = 0.0;
        TimingFunction timing;
        std::vector<PLRAnimationContext::Track> tracks;
        std::vector<std::function<void()>> completions;
    };

    static PLRAnimator& shared()
    {
        static PLRAnimator animator;
        static const bool joined = platform::resets::add([] { animator.open.clear(); });
        (void)joined;
        return animator;
    }

    std::vector<PLRAnimationContext*> open;

    void start(PLRAnimationContext& context)
    {
        auto running = std::make_shared<Running>();
        running->start = AnimationClock::shared().now();
        running->duration = std::max(0.0, context.m_duration);
        running->timing = context.m_timing;
        running->completions = std::move(context.m_completions);
        for (PLRAnimationContext::Track track : context.m_tracks) {
            if (!track.target)
                continue;
            // A new animation of the same value replaces the running one, from where it stands.
            for (auto& other : m_running)
                other->tracks.erase(std::remove_if(other->tracks.begin(), other->tracks.end(),
                                                   [&track](const PLRAnimationContext::Track& t) {
                                                       return t.kind == track.kind && t.target == track.target;
                                                   }),
                                    other->tracks.end());
            for (auto& t : running->tracks)
                if (t.kind == track.kind && t.target == track.target)
                    t.target = nullptr;
            track.from = currentValue(track);
            running->tracks.push_back(track);
        }
        m_running.push_back(running);
        if (!m_timer.isActive())
            m_timer.start();
        tick();
    }

    bool isAnimating() const { return !m_running.empty(); }

    void tick()
    {
        const double now = AnimationClock::shared().now();
        std::vector<std::shared_ptr<Running>> finished;
        // Copy: completions may start new groups.
        const auto running = m_running;
        for (const auto& group : running) {
            const double fraction =
                group->duration <= 0.0 ? 1.0 : std::clamp((now - group->start) / group->duration, 0.0, 1.0);
            const double eased = fraction >= 1.0 ? 1.0 : group->timing.evaluate(fraction);
            for (const auto& track : group->tracks)
                applyValue(track, track.from + (track.to - track.from) * eased);
            if (fraction >= 1.0)
                finished.push_back(group);
        }
        for (const auto& group : finished)
            m_running.erase(std::remove(m_running.begin(), m_running.end(), group), m_running.end());
        if (m_running.empty())
            m_timer.stop();
        for (const auto& group : finished)
            for (const auto& completion : group->completions)
                if (completion)
                    completion();
    }

private:
    PLRAnimator()
    {
        m_timer.setInterval(16);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (!AnimationClock::shared().isManual())
                tick();
        });
        connect(&AnimationClock::shared(), &AnimationClock::advanced, this, [this] {
            if (!m_running.empty())
                tick();
        });
    }
    QTimer m_timer;
    std::vector<std::shared_ptr<Running>> m_running;
};

void PLRAnimationContext::runAnimationGroup(const std::function<void(PLRAnimationContext&)>& changes,
                                            std::function<void()> completion)
{
    PLRAnimationContext context;
    auto& animator = PLRAnimator::shared();
    animator.open.push_back(&context);
    if (changes)
        changes(context);
    animator.open.pop_back();
    if (completion)
        context.m_completions.push_back(std::move(completion));
    animator.start(context);
}

PLRAnimationContext* PLRAnimationContext::currentContext()
{
    auto& open = PLRAnimator::shared().open;
    return open.empty() ? nullptr : open.back();
}

void PLRAnimationContext::setCompletionHandler(std::function<void()> handler)
{
    if (handler)
        m_completions.push_back(std::move(handler));
}

void PLRAnimationContext::animate(Track::Kind kind, QObject* target, double to)
{
    if (!target)
        return;
    if (PLRAnimationContext* context = currentContext()) {
        // The last change of a value inside a group wins.
        for (auto& track : context->m_tracks)
            if (track.kind == kind && track.target == target) {
                track.to = to;
                return;
            }
        context->m_tracks.push_back(Track{kind, target, 0.0, to});
        return;
    }
    runAnimationGroup([kind, target, to](PLRAnimationContext& context) {
        context.m_tracks.push_back(Track{kind, target, 0.0, to});
    });
}

void PLRAnimationContext::animateAlpha(View* view, double alpha)
{
    animate(Track::Kind::Alpha, view, alpha);
}

void PLRAnimationContext::animateConstant(PLRLayoutConstraint* constraint, double constant)
{
    animate(Track::Kind::Constant, constraint, constant);
}

bool PLRAnimationContext::isAnimating()
{
    return PLRAnimator::shared().isAnimating();
}
