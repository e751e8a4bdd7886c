#pragma once

#include "platform-ui/Controls.h"

#include <QPointer>

// The frame that marks a form field as wrong: a red border and an error label.
class PLRErrorBox : public platform::ui::Box {
    Q_OBJECT
public:
    explicit PLRErrorBox(QWidget* parent = nullptr);

    // Outlets.
    void setErrorLabel(platform::ui::TextField* label) { m_errorLabel = label; }
    platform::ui::TextField* errorLabel() const { return m_errorLabel; }
    void setAssociatedField(QWidget* field) { m_associatedField = field; }
    QWidget* associatedField() const { return m_associatedField; }
    void setAssociatedFieldSecondary(QWidget* field) { m_associatedFieldSecondary = field; }
    QWidget* associatedFieldSecondary() const { return m_associatedFieldSecondary; }

    // Remembers the border colour and styles the error label (as loading from an interface file does).
    void awakeFromNib();
    void setErrorState(bool error);
    bool isShowingError() const { return m_showingError; }
    platform::ui::Color defaultBorderColour() const { return m_defaultBorderColour; }

    void updateTrackingAreas() override;
    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;

private:
    QPointer<platform::ui::TextField> m_errorLabel;
    QPointer<QWidget> m_associatedField;
    QPointer<QWidget> m_associatedFieldSecondary;
    bool m_showingError = false;
    platform::ui::Color m_defaultBorderColour;
    bool m_tracking = false;
};
