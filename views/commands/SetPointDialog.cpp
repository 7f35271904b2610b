#include "SetPointDialog.h"

#include "CommandFateText.h"
#include "HistoryText.h"
#include "ToolWindow.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr quint8 kRunRegister = Info(Quantity::Run).reg;
// What the run register is written with: 0 starts the device, 1 stops it (as the switch writes).
constexpr quint16 kStart = 0;
constexpr quint16 kStop = 1;

} // namespace

TSetPointDialog::TSetPointDialog(std::array<SetPointRange, 3> ranges, Access access, QWidget* parent)
    : QDialog(parent), m_access(std::move(access)) {
    setObjectName(QStringLiteral("setPointDialog"));
    Confirm = [this](const QString& question, const QString& detail) {
        QMessageBox box(QMessageBox::Question, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                        this);
        box.setInformativeText(detail);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes;
    };
    auto* layout = new QVBoxLayout(this);
    m_pollingOff = new QLabel(this);
    m_pollingOff->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    layout->addWidget(m_pollingOff);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    for (int i = 0; i < int(m_rows.size()); ++i) {
        Row& row = m_rows[size_t(i)];
        row.range = ranges[size_t(i)];
        row.name = new QLabel(this);
        row.current = new QLabel(this);
        row.span = new QLabel(this);
        row.field = new QLineEdit(this);
        row.field->setObjectName(QString::fromLatin1(Info(row.range.quantity).key));
        row.write = new QPushButton(this);
        row.write->setAutoDefault(false);
        row.name->setBuddy(row.field);
        const int line = i == 0 ? 0 : i + 1; // the run line follows the setting, as in the register order
        grid->addWidget(row.name, line, 0);
        grid->addWidget(row.current, line, 1);
        grid->addWidget(row.span, line, 2);
        grid->addWidget(row.field, line, 3);
        grid->addWidget(row.write, line, 4);
        connect(row.field, &QLineEdit::returnPressed, this, [this, i] { Write(i); });
        connect(row.write, &QPushButton::clicked, this, [this, i] { Write(i); });
    }
    m_runName = new QLabel(this);
    m_runCurrent = new QLabel(this);
    m_runBox = new QComboBox(this);
    m_runBox->setObjectName(QStringLiteral("run"));
    m_runWrite = new QPushButton(this);
    m_runWrite->setAutoDefault(false);
    m_runName->setBuddy(m_runBox);
    grid->addWidget(m_runName, 1, 0);
    grid->addWidget(m_runCurrent, 1, 1);
    grid->addWidget(m_runBox, 1, 3);
    grid->addWidget(m_runWrite, 1, 4);
    connect(m_runWrite, &QPushButton::clicked, this, &TSetPointDialog::WriteRun);
    m_refusal = new QLabel(this);
    m_refusal->setObjectName(QStringLiteral("refusal"));
    m_refusal->setStyleSheet(QStringLiteral("color: #b00000"));
    m_refusal->setWordWrap(true);
    layout->addWidget(m_refusal);
    m_fate = new QLabel(this);
    m_fate->setObjectName(QStringLiteral("fate"));
    layout->addWidget(m_fate);
    CloseOnEscape(this);
    Retranslate();
    Refresh();
}

QLineEdit* TSetPointDialog::Field(Quantity q) const {
    for (const Row& row : m_rows)
        if (row.range.quantity == q)
            return row.field;
    return nullptr;
}

QString TSetPointDialog::Refusal() const {
    return m_refusal->text();
}

void TSetPointDialog::ShowFor(Quantity q) {
    Refresh();
    Refuse({});
    show();
    raise();
    activateWindow();
    if (q == Quantity::Run) {
        m_runBox->setFocus();
    } else if (QLineEdit* field = Field(q)) {
        field->setFocus();
        field->selectAll();
    }
}

void TSetPointDialog::Refresh() {
    const bool polling = m_access.polling();
    m_pollingOff->setVisible(!polling);
    for (Row& row : m_rows) {
        const std::optional<quint16> raw = m_access.current(Info(row.range.quantity).reg);
        row.current->setText(
            raw ? QuantityValueText(row.range.quantity, ScaledValue(row.range.quantity, *raw))
                : QStringLiteral("—"));
    }
    const std::optional<quint16> run = m_access.current(kRunRegister);
    m_runCurrent->setText(!run ? QStringLiteral("—") : (*run & 1) ? tr("运行中") : tr("已停止"));
}

void TSetPointDialog::ShowFate(const std::optional<CommandFate::Fate>& fate) {
    m_shownFate = fate;
    m_fate->setText(fate ? CommandWithFateText(*fate) : QString());
}

void TSetPointDialog::Retranslate() {
    setWindowTitle(tr("设定值"));
    m_pollingOff->setText(tr("通讯未开启：勾选“通讯”后才能写入。"));
    for (Row& row : m_rows) {
        const Quantity q = row.range.quantity;
        row.name->setText(QuantityName(q));
        row.span->setText(
            tr("%1 至 %2").arg(QuantityValueText(q, row.range.min), QuantityValueText(q, row.range.max)));
        row.field->setPlaceholderText(Info(q).unit);
        row.write->setText(tr("写入"));
    }
    m_runName->setText(QuantityName(Quantity::Run));
    const int chosen = m_runBox->currentIndex();
    m_runBox->clear();
    m_runBox->addItem(tr("启动"), kStart);
    m_runBox->addItem(tr("停止"), kStop);
    m_runBox->setCurrentIndex(std::max(chosen, 0));
    m_runWrite->setText(tr("写入"));
    Refresh();
    ShowFate(m_shownFate);
    Refuse(m_refusalText);
}

void TSetPointDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QDialog::changeEvent(event);
}

void TSetPointDialog::Refuse(std::function<QString()> why) {
    m_refusalText = std::move(why);
    m_refusal->setText(m_refusalText ? m_refusalText() : QString());
}

void TSetPointDialog::Write(int i) {
    const Row& row = m_rows[size_t(i)];
    const Quantity q = row.range.quantity;
    Refuse({});
    const ParsedSetPoint parsed = ParseSetPoint(row.range, row.field->text(), locale());
    using E = ParsedSetPoint::Error;
    switch (parsed.error) {
    case E::None:
        break;
    case E::Empty:
        Refuse([this, q] { return tr("请输入%1的新值。").arg(QuantityName(q)); });
        return;
    case E::NotANumber:
        Refuse([this, typed = row.field->text().trimmed()] { return tr("“%1”不是数字。").arg(typed); });
        return;
    case E::TooManyDecimals:
        Refuse([this, q] { return tr("%1最多 %2 位小数。").arg(QuantityName(q)).arg(Info(q).decimals); });
        return;
    case E::OutOfRange:
        Refuse([this, q, range = row.range, typed = row.field->text().trimmed()] {
            return tr("%1 超出范围 %2 至 %3。")
                .arg(typed, QuantityValueText(q, range.min), QuantityValueText(q, range.max));
        });
        return;
    }
    if (!m_access.polling()) {
        Refuse([this] { return tr("未发送: 通讯未开启"); });
        return;
    }
    const QString question = tr("写入 %1 = %2？").arg(QuantityName(q), QuantityValueText(q, parsed.value));
    if (!Confirm(question, QString()))
        return;
    m_access.send(Info(q).reg, parsed.raw);
}

void TSetPointDialog::WriteRun() {
    Refuse({});
    if (!m_access.polling()) {
        Refuse([this] { return tr("未发送: 通讯未开启"); });
        return;
    }
    const quint16 value = quint16(m_runBox->currentData().toUInt());
    const QString question = tr("写入 %1 = %2？").arg(QuantityName(Quantity::Run), m_runBox->currentText());
    const QString detail = value == kStart ? tr("设备将启动。") : tr("设备将停止。");
    if (!Confirm(question, detail))
        return;
    m_access.send(kRunRegister, value);
}
