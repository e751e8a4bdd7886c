#pragma once

#include <QObject>
#include <QString>

#include <functional>

// One step of the store migration. Its titles, messages and progress are observable, so a
// progress window can mirror them while it runs.
class PLRMigratorVersion : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString reasonTitle READ reasonTitle WRITE setReasonTitle NOTIFY reasonTitleChanged)
    Q_PROPERTY(QString infoTitle READ infoTitle WRITE setInfoTitle NOTIFY infoTitleChanged)
    Q_PROPERTY(QString stageMessage READ stageMessage WRITE setStageMessage NOTIFY stageMessageChanged)
    Q_PROPERTY(QString subMessage READ subMessage WRITE setSubMessage NOTIFY subMessageChanged)
    Q_PROPERTY(double stageProgress READ stageProgress WRITE setStageProgress NOTIFY stageProgressChanged)
    Q_PROPERTY(double subProgress READ subProgress WRITE setSubProgress NOTIFY subProgressChanged)
    Q_PROPERTY(bool stageNeedsSubProgress READ stageNeedsSubProgress WRITE setStageNeedsSubProgress NOTIFY stageNeedsSubProgressChanged)
public:
    using Completion = std::function<void(bool success)>;

    explicit PLRMigratorVersion(QObject* parent = nullptr);
    ~PLRMigratorVersion() override;

    // The store version that the step brings the store to ("1.0.1").
    virtual QString version() const = 0;
    // Runs the step (on the main thread); calls `done` once, on the main thread, when finished.
    virtual void perform(Completion done) = 0;

    QString reasonTitle() const { return m_reasonTitle; }
    void setReasonTitle(const QString& value);
    QString infoTitle() const { return m_infoTitle; }
    void setInfoTitle(const QString& value);
    QString stageMessage() const { return m_stageMessage; }
    void setStageMessage(const QString& value);
    QString subMessage() const { return m_subMessage; }
    void setSubMessage(const QString& value);
    double stageProgress() const { return m_stageProgress; }
    void setStageProgress(double value);
    double subProgress() const { return m_subProgress; }
    void setSubProgress(double value);
    bool stageNeedsSubProgress() const { return m_stageNeedsSubProgress; }
    void setStageNeedsSubProgress(bool value);

signals:
    void reasonTitleChanged();
    void infoTitleChanged();
    void stageMessageChanged();
    void subMessageChanged();
    void stageProgressChanged();
    void subProgressChanged();
    void stageNeedsSubProgressChanged();

private:
    QString m_reasonTitle;
    QString m_infoTitle;
    QString m_stageMessage;
    QString m_subMessage;
    double m_stageProgress = 0.0;
    double m_subProgress = 0.0;
    bool m_stageNeedsSubProgress = false;
};
