#include "Connections.h"

#include "CRC16.h"
#include "Language.h"
#include "LineFormat.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kRecentKey = QStringLiteral("connections/recent");
const QString kNamedKey = QStringLiteral("connections/named");

// Reads the connection at the settings' current array index; nothing when an entry is not one the
// boxes could hold (edited by hand or written by another program).
std::optional<Connection> ReadConnection(const QSettings& settings) {
    Connection c;
    c.port = settings.value(QStringLiteral("port")).toString();
    bool baudOk = false, addressOk = false;
    c.baudRate = settings.value(QStringLiteral("baud")).toUInt(&baudOk);
    c.format = settings.value(QStringLiteral("format")).toString();
    const uint address = settings.value(QStringLiteral("address")).toUInt(&addressOk);
    if (c.port.isEmpty() || !baudOk || c.baudRate == 0 || !LineFormatFromText(c.format) || !addressOk ||
        address > 255)
        return std::nullopt;
    c.address = quint8(address);
    return c;
}

void WriteConnection(QSettings& settings, const Connection& c) {
    settings.setValue(QStringLiteral("port"), c.port);
    settings.setValue(QStringLiteral("baud"), c.baudRate);
    settings.setValue(QStringLiteral("format"), c.format);
    settings.setValue(QStringLiteral("address"), c.address);
}

struct Named {
    QString name;
    Connection connection;
};

QList<Named> ReadNamed() {
    QSettings settings = PanelSettings();
    QList<Named> named;
    const int size = settings.beginReadArray(kNamedKey);
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        const QString name = settings.value(QStringLiteral("name")).toString();
        if (const std::optional<Connection> c = ReadConnection(settings); c && !name.isEmpty())
            named.append({name, *c});
    }
    settings.endArray();
    return named;
}

void WriteNamed(QList<Named> named) {
    std::sort(named.begin(), named.end(),
              [](const Named& a, const Named& b) { return a.name.localeAwareCompare(b.name) < 0; });
    QSettings settings = PanelSettings();
    settings.remove(kNamedKey);
    settings.beginWriteArray(kNamedKey, int(named.size()));
    for (int i = 0; i < named.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("name"), named[i].name);
        WriteConnection(settings, named[i].connection);
    }
    settings.endArray();
}

} // namespace

QString Connection::Text() const {
    return QCoreApplication::translate("TConnectionMenu", "%1  %2 %3  地址 %4")
        .arg(port)
        .arg(baudRate)
        .arg(format)
        .arg(address);
}

QList<Connection> RecentConnections() {
    QSettings settings = PanelSettings();
    QList<Connection> recent;
    const int size = settings.beginReadArray(kRecentKey);
    for (int i = 0; i < size && recent.size() < kRecentConnections; ++i) {
        settings.setArrayIndex(i);
        if (const std::optional<Connection> c = ReadConnection(settings); c && !recent.contains(*c))
            recent.append(*c);
    }
    settings.endArray();
    return recent;
}

void RememberConnection(const Connection& connection) {
    QList<Connection> recent = RecentConnections();
    recent.removeAll(connection);
    recent.prepend(connection);
    while (recent.size() > kRecentConnections)
        recent.removeLast();
    QSettings settings = PanelSettings();
    settings.remove(kRecentKey);
    settings.beginWriteArray(kRecentKey, int(recent.size()));
    for (int i = 0; i < recent.size(); ++i) {
        settings.setArrayIndex(i);
        WriteConnection(settings, recent[i]);
    }
    settings.endArray();
}

QStringList ConnectionNames() {
    QStringList names;
    for (const Named& n : ReadNamed())
        names << n.name;
    return names;
}

std::optional<Connection> NamedConnection(const QString& name) {
    for (const Named& n : ReadNamed())
        if (n.name == name)
            return n.connection;
    return std::nullopt;
}

void SaveConnection(const QString& name, const Connection& connection) {
    QList<Named> named = ReadNamed();
    named.removeIf([&name](const Named& n) { return n.name == name; });
    named.append({name, connection});
    WriteNamed(named);
}

void RemoveConnection(const QString& name) {
    QList<Named> named = ReadNamed();
    if (named.removeIf([&name](const Named& n) { return n.name == name; }) > 0)
        WriteNamed(named);
}

QString UnknownConnectionMessage(const QString& name) {
    const QStringList names = ConnectionNames();
    const QString unknown = QCoreApplication::translate("TConnectionMenu", "没有名为“%1”的连接").arg(name);
    if (names.isEmpty())
        return QCoreApplication::translate("TConnectionMenu", "%1；还没有保存的连接。").arg(unknown);
    return QCoreApplication::translate("TConnectionMenu", "%1；已保存的连接：%2")
        .arg(unknown, names.join(QStringLiteral(", ")));
}

Connection CurrentConnection(const TForm1& form) {
    const TComm& comm = *form.Comm1;
    Connection c;
    c.port = comm.CommName();
    c.baudRate = comm.BaudRate();
    // The line's own format; a format the box does not offer cannot be, since only the box sets it.
    c.format = LineFormatText(comm.Parity(), comm.StopBits());
    if (c.format.isEmpty())
        c.format = form.ComboBox6->currentText();
    c.address = form.Address();
    return c;
}

void ApplyConnection(TForm1& form, const Connection& connection) {
    form.ComboBox4->setEditText(connection.port);
    form.ComboBox4Change(form.ComboBox4);
    form.ComboBox5->setEditText(QString::number(connection.baudRate));
    form.ComboBox5Change(form.ComboBox5);
    form.ComboBox6->setEditText(connection.format);
    form.ComboBox6Change(form.ComboBox6);
    // The address box has no handler: the poll reads it at each request.
    form.ComboBox1->setEditText(QString::number(connection.address));
}

TConnectionMenu::TConnectionMenu(TForm1* form, QMenu* menu, QAction* before, QWidget* window)
    : QObject(window), m_form(form), m_window(window) {
    OpenAction = new QAction(this);
    SaveAction = new QAction(this);
    RecentMenu = new QMenu(window);
    menu->insertAction(before, OpenAction);
    menu->insertAction(before, SaveAction);
    menu->insertMenu(before, RecentMenu);
    menu->insertSeparator(before);
    connect(OpenAction, &QAction::triggered, this, &TConnectionMenu::openNamed);
    connect(SaveAction, &QAction::triggered, this, &TConnectionMenu::saveAs);
    // The lists are read when the menu opens, so that another panel's saves show up too.
    connect(menu, &QMenu::aboutToShow, this, [this] {
        FillRecent();
        OpenAction->setEnabled(!ConnectionNames().isEmpty());
    });
    // A port that opened is a connection that worked, with the line and address it opened on.
    connect(form, &TForm1::portEvent, this, [this](PortEvent event) {
        if (event == PortEvent::Opened)
            RememberConnection(CurrentConnection(*m_form));
    });
    Retranslate();
}

void TConnectionMenu::Retranslate() {
    OpenAction->setText(tr("打开连接…"));
    SaveAction->setText(tr("保存连接为…"));
    RecentMenu->setTitle(tr("最近的连接"));
    FillRecent();
}

void TConnectionMenu::FillRecent() {
    RecentMenu->clear();
    const QList<Connection> recent = RecentConnections();
    for (const Connection& c : recent) {
        QAction* action = RecentMenu->addAction(c.Text());
        connect(action, &QAction::triggered, this, [this, c] { Apply(c); });
    }
    RecentMenu->setEnabled(!recent.isEmpty());
}

bool TConnectionMenu::MayApply() {
    if (!m_form->LineLent())
        return true;
    QMessageBox::information(m_window, tr("连接"), tr("总线扫描正在使用线路：请先结束扫描。"));
    return false;
}

void TConnectionMenu::Apply(const Connection& connection) {
    if (MayApply())
        ApplyConnection(*m_form, connection);
}

void TConnectionMenu::saveAs() {
    const Connection current = CurrentConnection(*m_form);
    bool ok = false;
    const QString name =
        QInputDialog::getText(m_window, tr("保存连接"), tr("连接的名称（%1）：").arg(current.Text()),
                              QLineEdit::Normal, QString(), &ok)
            .trimmed();
    if (!ok || name.isEmpty())
        return;
    if (NamedConnection(name) &&
        QMessageBox::question(m_window, tr("保存连接"), tr("已有名为“%1”的连接。替换它吗？").arg(name)) !=
            QMessageBox::Yes)
        return;
    SaveConnection(name, current);
}

void TConnectionMenu::openNamed() {
    QDialog dialog(m_window);
    dialog.setObjectName(QStringLiteral("openConnection"));
    dialog.setWindowTitle(tr("打开连接"));
    auto* list = new QListWidget(&dialog);
    const auto fill = [list] {
        list->clear();
        for (const QString& name : ConnectionNames()) {
            const std::optional<Connection> c = NamedConnection(name);
            auto* item =
                new QListWidgetItem(QStringLiteral("%1    %2").arg(name, c ? c->Text() : QString()), list);
            item->setData(Qt::UserRole, name);
        }
        list->setCurrentRow(0);
    };
    fill();
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* open = buttons->addButton(tr("打开"), QDialogButtonBox::AcceptRole);
    QPushButton* remove = buttons->addButton(tr("删除"), QDialogButtonBox::DestructiveRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    const auto chosen = [list] {
        const QListWidgetItem* item = list->currentItem();
        return item ? item->data(Qt::UserRole).toString() : QString();
    };
    const auto update = [&] {
        open->setEnabled(!chosen().isEmpty());
        remove->setEnabled(!chosen().isEmpty());
    };
    connect(list, &QListWidget::currentRowChanged, &dialog, update);
    connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(remove, &QPushButton::clicked, &dialog, [&] {
        const QString name = chosen();
        if (name.isEmpty() || QMessageBox::question(&dialog, tr("删除连接"),
                                                    tr("删除连接“%1”吗？").arg(name)) != QMessageBox::Yes)
            return;
        RemoveConnection(name);
        fill();
        update();
    });
    update();
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    dialog.resize(520, 300);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (const std::optional<Connection> c = NamedConnection(chosen()))
        Apply(*c);
}
