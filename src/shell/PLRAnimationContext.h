#pragma once

#include "platform-ui/Animation.h"
#include "platform-ui/View.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

// The top edge of a view placed in its superview: the view's top lies `constant` points below the
// superview's top. Its superview places the view again whenever the constant changes.
class PLRLayoutConstraint : public QObject {
    Q_OBJECT
public:
    PLRLayoutConstraint(QWidget* view, double constant, QObject* parent = nullptr);
    QWidget* firstItem() const { return m_view; }
    double constant() const { return m_constant; }
    void setConstant(double constant);
signals:
    void constantChanged();
private:
    QPointer<QWidget> m_view;
    double m_constant;
};

// Groups of animated screen changes: inside a group, changes made through the animator (a view's
// alpha, a constraint's constant) run from their current value to the new one over the group's
// duration and timing, read from the shared animation clock (tests advance it by hand). The
// completion handlers run once every change of the group has finished.
class PLRAnimationContext {
public:
    // Opens a group, runs `changes` in it, then starts its animations.
    static void runAnimationGroup(const std::function<void(PLRAnimationContext& context)>& changes,
                                  std::function<void()> completion = {});
    // The innermost open group, or null outside a group.
    static PLRAnimationContext* currentContext();

    double duration() const { return m_duration; }
    void setDuration(double seconds) { m_duration = seconds; }
    platform::ui::TimingFunction timingFunction() const { return m_timing; }
    void setTimingFunction(const platform::ui::TimingFunction& timing) { m_timing = timing; }
    // Adds a handler run when the group has finished.
    void setCompletionHandler(std::function<void()> handler);

    // The animator: inside a group the change is animated; outside one it animates alone with the
    // default duration (0.25 s).
    static void animateAlpha(platform::ui::View* view, double alpha);
    static void animateConstant(PLRLayoutConstraint* constraint, double constant);

    // Whether any group is still running.
    static bool isAnimating();

    struct Track {
        enum class Kind { Alpha, Constant };
        Kind kind = Kind::Alpha;
        QPointer<QObject> target;
        double from = 0.0;
        double to = 0.0;
    };

private:
    PLRAnimationContext() = default;
    static void animate(Track::Kind kind, QObject* target, double to);
    double m_duration = 0.25;
    platform::ui::TimingFunction m_timing = platform::ui::TimingFunction::defaultFunction();
    std::vector<std::function<void()>> m_completions;
    std::vector<Track> m_tracks;
    friend class PLRAnimator;
};
