#include "AlarmStrip.h"

#include "DesktopNotice.h"
#include "HistoryText.h"
#include "LineWatch.h"
#include "Quantities.h"

#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSoundEffect>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include <pwd.h>
#include <unistd.h>

namespace {

const QColor kRed(200, 0, 0);
const QColor kGrey(128, 128, 128);

bool SeveralDevices(const std::vector<AlarmEntry>& shown) {
    return std::any_of(shown.begin(), shown.end(),
                       [&shown](const AlarmEntry& a) { return a.device != shown.front().device; });
}

} // namespace

TAlarmStrip::TAlarmStrip(LineWatch* watch, QWidget* parent) : QWidget(parent), m_watch(watch) {
    setObjectName(QStringLiteral("alarmStrip"));
    // The form keeps the keyboard; the strip is worked with the mouse and F4.
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 2, 6, 2);
    row->setSpacing(8);
    m_lines = new QVBoxLayout;
    m_lines->setSpacing(0);
    m_lines->setContentsMargins(0, 0, 0, 0);
    row->addLayout(m_lines, 1);
    m_quiet = new QLabel(this);
    m_quiet->setObjectName(QStringLiteral("noAlarm"));
    m_lines->addWidget(m_quiet);
    m_acknowledge = new QPushButton(this);
    m_acknowledge->setObjectName(QStringLiteral("acknowledge"));
    m_acknowledge->setFocusPolicy(Qt::NoFocus);
    row->addWidget(m_acknowledge, 0, Qt::AlignTop);
    connect(m_acknowledge, &QPushButton::clicked, this, &TAlarmStrip::acknowledge);

    m_flash = new QTimer(this);
    m_flash->setInterval(kFlashMs);
    connect(m_flash, &QTimer::timeout, this, [this] {
        m_lit = !m_lit;
        paintLines();
    });
    if (m_watch)
        connect(m_watch, &LineWatch::detected, this, &TAlarmStrip::take);
    rebuild();
}

TAlarmMark::TAlarmMark(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("alarmMark"));
    setFixedSize(12, 12);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TAlarmMark::SetColour(const QColor& colour) {
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

void TAlarmMark::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), m_colour);
}

QString TAlarmStrip::UserName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("uid %1").arg(::geteuid()) : user;
}

QStringList TAlarmStrip::LineTexts() const {
    if (m_alarmLines.isEmpty())
        return {m_quiet->text()};
    QStringList texts;
    for (const Line& line : m_alarmLines)
        texts << line.text->text();
    return texts;
}

bool TAlarmStrip::Flashing() const {
    return m_flash->isActive();
}

void TAlarmStrip::SetSound(bool on) {
    m_sound = on;
}

void TAlarmStrip::take(const EventDetector::Output& out) {
    if (out.events.empty())
        return;
    const AlarmStates::Change change = m_states.Take(out.events);
    if (!change.shownChanged)
        return;
    rebuild();
    if (!change.came.empty())
        announce(change.came);
}

void TAlarmStrip::acknowledge() {
    const std::vector<AlarmEntry> acknowledged = m_states.AcknowledgeAll();
    if (acknowledged.empty())
        return;
    if (m_watch)
        m_watch->OnAcknowledge(acknowledged, UserName(), QDateTime::currentMSecsSinceEpoch());
    rebuild();
}

QString TAlarmStrip::lineText(const AlarmEntry& entry, bool withDevice) const {
    const QString state = entry.acknowledged ? tr("已确认")
                          : entry.active     ? tr("未确认")
                                             : tr("已消除，未确认");
    QString text =
        AlarmFullName(entry.bit) + QStringLiteral("    ") +
        QDateTime::fromMSecsSinceEpoch(entry.sinceUtcMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
        QStringLiteral("    ") + state;
    return withDevice ? entry.device.Name() + QStringLiteral("    ") + text : text;
}

void TAlarmStrip::rebuild() {
    const std::vector<AlarmEntry>& shown = m_states.Shown();
    while (m_alarmLines.size() > qsizetype(shown.size()))
        delete m_alarmLines.takeLast().row;
    while (m_alarmLines.size() < qsizetype(shown.size())) {
        Line line;
        line.row = new QWidget(this);
        auto* layout = new QHBoxLayout(line.row);
        layout->setContentsMargins(0, 1, 0, 1);
        layout->setSpacing(6);
        // Only the mark flashes: a small square, so the flashing costs next to nothing to paint.
        line.mark = new TAlarmMark(line.row);
        layout->addWidget(line.mark);
        line.text = new QLabel(line.row);
        line.text->setObjectName(QStringLiteral("alarm"));
        line.text->setTextFormat(Qt::PlainText);
        // A long line is cut at the window's edge; it never widens the window.
        line.text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        layout->addWidget(line.text, 1);
        line.row->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        m_lines->addWidget(line.row);
        // Shown now, not when the layout would show it later: the strip's size counts it at once.
        line.row->setVisible(true);
        m_alarmLines << line;
    }
    const bool withDevice = !shown.empty() && SeveralDevices(shown);
    for (size_t i = 0; i < shown.size(); ++i)
        m_alarmLines[qsizetype(i)].text->setText(lineText(shown[i], withDevice));
    m_quiet->setText(tr("无报警"));
    m_quiet->setVisible(shown.empty());
    m_acknowledge->setText(tr("确认"));
    m_acknowledge->setToolTip(tr("确认所有显示的报警 (F4)"));
    m_acknowledge->setVisible(!shown.empty());
    const bool waiting = m_states.AnyFlashing();
    m_acknowledge->setEnabled(waiting);
    // One timer for every line, running only while a line flashes; a new state starts lit.
    m_lit = true;
    if (waiting && !m_flash->isActive())
        m_flash->start();
    else if (!waiting)
        m_flash->stop();
    paintLines();
    emit linesChanged();
    emit acknowledgeable(waiting);
}

void TAlarmStrip::paintLines() {
    const std::vector<AlarmEntry>& shown = m_states.Shown();
    const QColor strip = palette().color(QPalette::Window);
    for (size_t i = 0; i < shown.size(); ++i) {
        const AlarmEntry& a = shown[i];
        // Red while active, grey once returned; the mark of an unacknowledged alarm goes dark and lit.
        const QColor colour = a.active ? kRed : kGrey;
        const Line& line = m_alarmLines[qsizetype(i)];
        QPalette text = line.text->palette();
        text.setColor(QPalette::WindowText, colour);
        if (line.text->palette() != text)
            line.text->setPalette(text);
        line.mark->SetColour(!a.Flashing() || m_lit ? colour : strip);
    }
}

void TAlarmStrip::announce(const std::vector<AlarmEntry>& came) {
    QStringList lines;
    const bool withDevice = SeveralDevices(m_states.Shown());
    for (const AlarmEntry& a : came)
        lines << lineText(a, withDevice);
    ShowDesktopNotice(tr("Z7 报警"), lines.join(QLatin1Char('\n')));
    if (!m_sound)
        return;
    if (!m_effect) {
        m_effect = new QSoundEffect(this);
        m_effect->setSource(QUrl(QStringLiteral("qrc:/alarms/alert.wav")));
    }
    m_effect->play();
}

void TAlarmStrip::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        rebuild();
    QWidget::changeEvent(event);
}
