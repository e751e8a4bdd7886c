#pragma once

#include "controls/PLRSmallViews.h"
#include "platform-ui/Controls.h"

#include <QPointer>

#include <functional>

// The header of a gallery section: a disclosure button that collapses the section, the
// section's title and its photo count.
class PLRGalleryHeaderView : public PLRBackgroundColourView {
    Q_OBJECT
public:
    static constexpr double kHeight = 28.0;

    explicit PLRGalleryHeaderView(QWidget* parent = nullptr);
    bool isFlipped() const override { return true; }

    platform::ui::TextField* titleLabel() const { return m_titleLabel; }
    platform::ui::TextField* numberLabel() const { return m_numberLabel; }
    platform::ui::Button* collapseButton() const { return m_collapseButton; }
    // 1 (on) while the section is expanded, 0 (off) while collapsed.
    int collapseButtonState() const { return m_buttonState; }
    void setCollapseButtonState(int state);

    qint64 section() const { return m_section; }
    void setSection(qint64 section) { m_section = section; }
    bool collapsed() const { return m_collapsed; }
    void setCollapsed(bool collapsed) { m_collapsed = collapsed; }

    // What the collapse button tells, with this header as the argument; the call is dropped
    // once the target has gone.
    using Selector = std::function<void(PLRGalleryHeaderView* header)>;
    void setTarget(QObject* target) { m_target = target; }
    QObject* target() const { return m_target; }
    void setSelector(Selector selector) { m_selector = std::move(selector); }

    // Flips `collapsed` and tells the target.
    void collapsedButtonAction();

    // Places the button and the labels again (after their texts changed).
    void relayout() { layoutSubviews(); }

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;

protected:
    void layoutSubviews() override;

private:
    platform::ui::TextField* m_titleLabel = nullptr;
    platform::ui::TextField* m_numberLabel = nullptr;
    platform::ui::Button* m_collapseButton = nullptr;
    int m_buttonState = 1;
    qint64 m_section = 0;
    bool m_collapsed = false;
    QPointer<QObject> m_target;
    Selector m_selector;
};
