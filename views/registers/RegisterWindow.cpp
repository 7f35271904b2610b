#include "RegisterWindow.h"

#include "HistoryText.h"
#include "ToolWindow.h"
#include "Traffic.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kRefreshMs = 1000;

// The quantities an operator command writes: the set-point, the run switch and the two output limits.
constexpr Quantity kWritable[] = {Quantity::InputSetting, Quantity::Run, Quantity::MaxOutput,
                                  Quantity::MinOutput};

bool Writable(Quantity q) {
    return std::find(std::begin(kWritable), std::end(kWritable), q) != std::end(kWritable);
}

const QString kNothing = QStringLiteral("—");

// A content as the window shows it: the scaled value with its unit, the run bit in words, the alarm
// bits by name; a register no quantity names has no value beyond its content.
QString ValueText(int reg, quint16 raw) {
    const std::optional<Quantity> q = QuantityAtRegister(reg);
    if (!q)
        return kNothing;
    switch (Info(*q).kind) {
    case QuantityKind::Bit:
        return ScaledValue(*q, raw) != 0 ? TRegisterWindow::tr("运行") : TRegisterWindow::tr("停止");
    case QuantityKind::Bits: {
        QStringList set;
        for (int k = 0; k < kAlarmCount; ++k)
            if ((raw >> k) & 1)
                set << QString::fromLatin1(kAlarmNames[size_t(k)]);
        return set.isEmpty() ? TRegisterWindow::tr("无警报") : set.join(QStringLiteral(", "));
    }
    case QuantityKind::Scaled:
        break;
    }
    return QuantityValueText(*q, ScaledValue(*q, raw));
}

QString AgeText(qint64 ageUs) {
    const qint64 seconds = ageUs / 1000000;
    if (seconds < 60)
        return TRegisterWindow::tr("%1 秒").arg(seconds);
    if (seconds < 3600)
        return TRegisterWindow::tr("%1 分钟").arg(seconds / 60);
    return TRegisterWindow::tr("%1 小时").arg(seconds / 3600);
}

} // namespace

TRegisterWindow::TRegisterWindow(const RegisterTable* registers, QWidget* parent)
    : QWidget(parent, Qt::Window), m_registers(registers), m_clock(TrafficMonotonicUs) {
    CloseOnEscape(this);
    m_device = new QLabel(this);
    m_device->setObjectName(QStringLiteral("device"));

    m_table = new QTableWidget(RegisterTable::kRegisterCount, ColumnCount, this);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setStretchLastSection(true);
    // Rows as low as the text, so that the thirty fit on a screen with their buttons.
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 8);
    for (int reg = 0; reg < RegisterTable::kRegisterCount; ++reg) {
        for (int column = 0; column < WriteColumn; ++column) {
            auto* item = new QTableWidgetItem;
            if (column != NameColumn && column != ValueColumn)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(reg, column, item);
        }
        m_table->item(reg, NumberColumn)->setText(QString::number(reg));
        const std::optional<Quantity> q = QuantityAtRegister(reg);
        if (q && Writable(*q)) {
            auto* button = new QPushButton(m_table);
            button->setObjectName(QStringLiteral("write%1").arg(reg));
            connect(button, &QPushButton::clicked, this, [this, q] { emit writeRequested(*q); });
            m_table->setCellWidget(reg, WriteColumn, button);
        }
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_device);
    layout->addWidget(m_table, 1);

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &TRegisterWindow::refresh);
    retranslateUi();
    resize(560, 720);
}

QPushButton* TRegisterWindow::WriteButton(int reg) const {
    if (reg < 0 || reg >= m_table->rowCount())
        return nullptr;
    return qobject_cast<QPushButton*>(m_table->cellWidget(reg, WriteColumn));
}

void TRegisterWindow::SetClock(std::function<qint64()> monotonicUs) {
    m_clock = std::move(monotonicUs);
}

void TRegisterWindow::retranslateUi() {
    setWindowTitle(tr("寄存器"));
    m_table->setHorizontalHeaderLabels(
        {tr("编号"), tr("名称"), tr("原始值"), tr("十六进制"), tr("值"), tr("距上次读取"), QString()});
    m_table->horizontalHeaderItem(AgeColumn)->setToolTip(tr("距离上次接受的读取应答的时间"));
    m_device->setToolTip(tr("显示轮询已读到的内容，不另外发送请求。"));
    for (int reg = 0; reg < m_table->rowCount(); ++reg) {
        const std::optional<Quantity> q = QuantityAtRegister(reg);
        m_table->item(reg, NameColumn)->setText(q ? QuantityName(*q) : kNothing);
        if (QPushButton* button = WriteButton(reg)) {
            button->setText(tr("写入…"));
            button->setToolTip(tr("为%1写入新值").arg(QuantityName(*q)));
        }
    }
    refresh();
    for (int column = 0; column < WriteColumn; ++column)
        m_table->resizeColumnToContents(column);
}

void TRegisterWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslateUi();
    QWidget::changeEvent(event);
}

void TRegisterWindow::showEvent(QShowEvent* event) {
    refresh();
    m_timer->start();
    QWidget::showEvent(event);
}

void TRegisterWindow::hideEvent(QHideEvent* event) {
    m_timer->stop();
    QWidget::hideEvent(event);
}

void TRegisterWindow::refresh() {
    const DeviceKey& device = m_registers->Device();
    m_device->setText(tr("设备：%1").arg(device.port.isEmpty() ? kNothing : device.Name()));
    const qint64 now = m_clock();
    for (int reg = 0; reg < m_table->rowCount(); ++reg) {
        const std::optional<quint16> raw = m_registers->Value(reg);
        const std::optional<qint64> age = m_registers->AgeUs(reg, now);
        const auto set = [this, reg](int column, const QString& text) {
            QTableWidgetItem* item = m_table->item(reg, column);
            if (item->text() != text)
                item->setText(text);
        };
        set(RawColumn, raw ? QString::number(*raw) : kNothing);
        set(HexColumn,
            raw ? QStringLiteral("0x") + QString::number(*raw, 16).rightJustified(4, u'0').toUpper()
                : kNothing);
        set(ValueColumn, raw ? ValueText(reg, *raw) : kNothing);
        set(AgeColumn, age ? AgeText(*age) : kNothing);
    }
}
