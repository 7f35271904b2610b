#pragma once
// 设定值: the four quantities the operator may set, each with the device's value, its unit and range and
// a field for the new value. Enter asks before writing; the write goes through the form's own command
// path (as a knob or the switch would send it) and its fate is shown below. Nothing is sent while polling
// is off or for a value the field refuses.

#include "CommandFate.h"
#include "SetPoint.h"

#include <QDialog>

#include <array>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TSetPointDialog : public QDialog {
    Q_OBJECT
public:
    struct Access {
        // The register's content in the readings shown, or nothing before the first reading.
        std::function<std::optional<quint16>(quint8 reg)> current;
        std::function<bool()> polling;
        // Gives the command to the form: register and raw value.
        std::function<void(quint8 reg, quint16 value)> send;
    };
    // `ranges`: input setting, maximum and minimum output, as their knobs cover them.
    TSetPointDialog(std::array<SetPointRange, 3> ranges, Access access, QWidget* parent = nullptr);

    // Shows the dialog with the field of `q` focused.
    void ShowFor(Quantity q);
    // The device's values and whether polling is on, read anew.
    void Refresh();
    // The newest command's fate, shown under the fields.
    void ShowFate(const std::optional<CommandFate::Fate>& fate);

    // For the tests: the field of a quantity (the run line has a box instead) and the last refusal.
    QLineEdit* Field(Quantity q) const;
    QComboBox* RunBox() const { return m_runBox; }
    QString Refusal() const;
    // Asks before writing; replaced by the tests.
    std::function<bool(const QString& question, const QString& detail)> Confirm;

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Row {
        SetPointRange range;
        QLabel* name = nullptr;
        QLabel* current = nullptr;
        QLabel* span = nullptr;
        QLineEdit* field = nullptr;
        QPushButton* write = nullptr;
    };
    void Retranslate();
    void Write(int row);
    void WriteRun();
    // Shows why a value was refused, in the language in force now and after a switch.
    void Refuse(std::function<QString()> why);

    Access m_access;
    std::array<Row, 3> m_rows;
    QLabel* m_runName = nullptr;
    QLabel* m_runCurrent = nullptr;
    QComboBox* m_runBox = nullptr;
    QPushButton* m_runWrite = nullptr;
    QLabel* m_pollingOff = nullptr;
    QLabel* m_refusal = nullptr;
    QLabel* m_fate = nullptr;
    std::optional<CommandFate::Fate> m_shownFate;
    std::function<QString()> m_refusalText;
};
