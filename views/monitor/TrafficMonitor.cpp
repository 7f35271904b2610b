#include "TrafficMonitor.h"

#include "MainWindow.h"
#include "TrafficModel.h"
#include "TrafficText.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QGlyphRun>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRawFont>
#include <QRegion>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int kGap = 8;
constexpr QSize kPreferredSize(1200, 400);
constexpr QSize kLeastSize(560, 300);

} // namespace

// Text layouts kept for the monitor's font, shared by its table and its figures. Laying a text out
// (shaping it) costs far more than drawing it, and the figures change at every refresh: texts made
// only of digits, a few Latin letters and CJK characters, none of which join or kern, are put together
// character by character from glyphs kept per character; any other text is laid out whole, once, and
// its glyphs kept. A text is drawn as one glyph run per font it uses, so drawing it costs one call
// whatever its length.
class TTextCache {
public:
    // Glyphs laid out in a text, with their places from its top left.
    struct Laid {
        struct Glyph {
            int font; // in m_fonts
            quint32 index;
            QPointF offset;
        };
        std::vector<Glyph> glyphs;
        qreal width = 0;
    };

    explicit TTextCache(const QFont& font) : m_font(font), m_metrics(font), m_height(m_metrics.height()) {}

    qreal Height() const { return m_height; }
    const QFont& Font() const { return m_font; }

    qreal Width(const QString& text) const {
        if (!ByCharacter(text))
            return Whole(text).width;
        qreal width = 0;
        for (const QChar c : text)
            width += Character(c).width;
        return width;
    }

    // Draws `text` with its left end at x and its top at y.
    void Draw(QPainter* painter, qreal x, qreal y, const QString& text) const {
        if (!ByCharacter(text)) {
            Add(Whole(text), x, y);
        } else {
            for (const QChar c : text) {
                const Laid& laid = Character(c);
                Add(laid, x, y);
                x += laid.width;
            }
        }
        Flush(painter);
    }

    // Glyphs of `text` laid out whole; kept.
    const Laid& Whole(const QString& text) const {
        auto it = m_texts.find(text);
        if (it == m_texts.end()) {
            if (m_texts.size() >= kKeptTexts)
                m_texts.clear();
            it = m_texts.insert(text, Lay(text));
        }
        return *it;
    }

    // Gathers the glyphs of `laid` placed at x, y, to be drawn by the next Flush().
    void Add(const Laid& laid, qreal x, qreal y) const {
        for (const Laid::Glyph& glyph : laid.glyphs) {
            m_pendingFonts.push_back(glyph.font);
            m_indexes.push_back(glyph.index);
            m_positions.push_back(QPointF(x, y) + glyph.offset);
        }
    }

    // Draws what Add() gathered, one glyph run for each stretch of glyphs of one font.
    void Flush(QPainter* painter) const {
        const size_t count = m_indexes.size();
        for (size_t from = 0, to = 0; from < count; from = to) {
            while (to < count && m_pendingFonts[to] == m_pendingFonts[from])
                ++to;
            m_run.setRawFont(m_fonts[size_t(m_pendingFonts[from])]);
            m_run.setRawData(m_indexes.data() + from, m_positions.data() + from, int(to - from));
            painter->drawGlyphRun(QPointF(), m_run);
        }
        m_pendingFonts.clear();
        m_indexes.clear();
        m_positions.clear();
    }

private:
    static constexpr qsizetype kKeptTexts = 4096;

    static bool ByCharacter(const QString& text) {
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            const bool plain = (u >= u'0' && u <= u'9') || u == u'.' || u == u'-' || u == u' ' || u == u'%' ||
                               u == u'm' || u == u's' || (u >= 0x3000 && u <= 0x9FFF) ||
                               (u >= 0xFF00 && u <= 0xFFEF);
            if (!plain)
                return false;
        }
        return true;
    }

    const Laid& Character(QChar c) const {
        auto it = m_characters.find(c);
        if (it == m_characters.end()) {
            Laid laid = Lay(QString(c));
            laid.width = m_metrics.horizontalAdvance(c);
            it = m_characters.insert(c, std::move(laid));
        }
        return *it;
    }

    // Laid out on one line, its top left at 0, 0.
    Laid Lay(const QString& string) const {
        QTextLayout layout(string, m_font);
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setPosition(QPointF());
        layout.endLayout();
        Laid laid;
        laid.width = line.horizontalAdvance();
        for (const QGlyphRun& run : layout.glyphRuns()) {
            const QRawFont raw = run.rawFont();
            auto found = std::find(m_fonts.begin(), m_fonts.end(), raw);
            if (found == m_fonts.end())
                found = m_fonts.insert(m_fonts.end(), raw);
            const int font = int(found - m_fonts.begin());
            const QList<quint32> indexes = run.glyphIndexes();
            const QList<QPointF> positions = run.positions();
            for (qsizetype i = 0; i < indexes.size(); ++i)
                laid.glyphs.push_back({font, indexes[i], positions[i]});
        }
        return laid;
    }

    QFont m_font;
    QFontMetricsF m_metrics;
    qreal m_height;
    mutable std::vector<QRawFont> m_fonts;
    mutable QHash<QChar, Laid> m_characters;
    mutable QHash<QString, Laid> m_texts;
    // Glyphs gathered for the next draw, with the font of each.
    mutable std::vector<int> m_pendingFonts;
    mutable std::vector<quint32> m_indexes;
    mutable std::vector<QPointF> m_positions;
    mutable QGlyphRun m_run;
};

namespace {

// A label for a figure that changes at every refresh, made cheap to change: it has the size of its
// widest text for good, so a change does not lay the window out again; it paints its own background,
// so the box behind it is not painted again; and it draws from kept text layouts.
class TValueLabel : public QLabel {
public:
    TValueLabel(const TTextCache& texts, const QString& widest, QWidget* parent)
        : QLabel(parent), m_texts(texts) {
        SetWidest(widest);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void SetWidest(const QString& widest) { setFixedSize(fontMetrics().size(0, widest) + QSize(4, 2)); }

protected:
    void paintEvent(QPaintEvent*) override {
        const TTextCache& cache = m_texts;
        QPainter painter(this);
        // With the same painter as the text, rather than a second one for the widget's own fill.
        painter.fillRect(rect(), palette().brush(backgroundRole()));
        painter.setPen(palette().color(QPalette::WindowText));
        const QString shown = text();
        const qreal x = alignment() & Qt::AlignRight ? width() - 2 - cache.Width(shown) : 2;
        cache.Draw(&painter, x, (height() - cache.Height()) / 2, shown);
    }

private:
    const TTextCache& m_texts;
};

// Paints the cells from kept glyphs (TTextCache), the bytes pair by pair from 256 kept pairs at a
// fixed pitch, which also lines them up in columns. A cell reads its record once.
class TTrafficDelegate : public QStyledItemDelegate {
public:
    TTrafficDelegate(const TTrafficModel* model, const TTextCache& texts, QObject* parent)
        : QStyledItemDelegate(parent), m_model(model), m_texts(texts) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const TrafficRecord& record = m_model->RecordAt(index.row());
        const int column = index.column();
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        const QColor background = TTrafficModel::Background(record);
        if (selected)
            painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
        else if (background.isValid())
            painter->fillRect(option.rect, background);
        const QColor foreground = TTrafficModel::Foreground(record);
        painter->setPen(selected               ? option.palette.color(group, QPalette::HighlightedText)
                        : foreground.isValid() ? foreground
                                               : option.palette.color(group, QPalette::Text));
        const TTextCache& cache = m_texts;
        const QRect area = option.rect.adjusted(kMargin, 0, -kMargin, 0);
        const qreal y = area.top() + (area.height() - cache.Height()) / 2;
        if (column == TTrafficModel::BytesColumn) {
            PaintBytes(painter, cache, area, y, record.bytes);
            return;
        }
        const QString text = m_model->Text(record, column);
        const qreal width = cache.Width(text);
        const qreal x = TTrafficModel::RightAligned(column) ? area.right() + 1 - width : area.left();
        // Cut at the cell's edge only where the text is wider than the cell.
        if (width <= area.width()) {
            cache.Draw(painter, x, y, text);
            return;
        }
        painter->save();
        painter->setClipRect(area);
        cache.Draw(painter, x, y, text);
        painter->restore();
    }

private:
    static constexpr int kMargin = 4;

    void PaintBytes(QPainter* painter, const TTextCache& cache, const QRect& area, qreal y,
                    const QByteArray& bytes) const {
        // The cache keeps one font for good, so the pairs are laid out once.
        if (m_pairs.empty()) {
            const QFontMetricsF metrics(cache.Font());
            for (int b = 0; b < 256; ++b) {
                const QString pair = HexPairs(QByteArray(1, char(b)));
                m_pairs.push_back(cache.Whole(pair));
                m_pitch = std::max(m_pitch, metrics.horizontalAdvance(pair));
            }
            m_pitch += metrics.horizontalAdvance(QLatin1Char(' '));
        }
        // Whole pairs only, so no cut is needed; "…" where more bytes do not fit or are not shown.
        const qsizetype fit = qsizetype((area.width() + m_pitch - m_pairs[0].width) / m_pitch);
        const qsizetype shown = std::min({bytes.size(), fit, TTrafficModel::kCellBytes});
        for (qsizetype i = 0; i < shown; ++i)
            cache.Add(m_pairs[quint8(bytes[i])], area.left() + i * m_pitch, y);
        cache.Flush(painter);
        if (shown < bytes.size()) {
            painter->save();
            painter->setClipRect(area);
            cache.Draw(painter, area.left() + shown * m_pitch, y, QStringLiteral("…"));
            painter->restore();
        }
    }

    const TTrafficModel* m_model;
    const TTextCache& m_texts;
    mutable std::vector<TTextCache::Laid> m_pairs;
    mutable qreal m_pitch = 0;
};

// A scroll bar that repaints at a change of its range or value only where its picture changes: with
// many rows its slider keeps its length and place at the bottom while every batch grows the range,
// and while the rows are fewer it only grows shorter at its top end.
class TQuietScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect slider =
            style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
        const bool movable = maximum() > minimum();
        if (change == SliderOrientationChange || movable != m_movable || m_slider.isNull()) {
            m_slider = slider;
            m_movable = movable;
            QScrollBar::sliderChange(change);
            return;
        }
        if (slider == m_slider)
            return;
        // The groove looks the same all along, and so does the slider across its length: only what
        // it covers now and did not before, or the reverse, changes, with the rim of its ends. A
        // repaint of the whole bar each batch would also set the painting helper threads to work.
        QRegion changed;
        for (const QRect& band : QRegion(slider).xored(QRegion(m_slider)))
            changed += band.adjusted(-kRim, -kRim, kRim, kRim);
        update(changed);
        m_slider = slider;
    }
    void resizeEvent(QResizeEvent* event) override {
        m_slider = {};
        QScrollBar::resizeEvent(event);
    }

private:
    static constexpr int kRim = 2;

    QRect m_slider;
    bool m_movable = false;
};

} // namespace

// The monitor's table. A batch of rows gone from the top and new ones at the end leaves most of what
// is on the screen as it was, only moved: the view moves those pixels and paints the rows new to the
// screen, where a table view would paint every visible row again at each batch.
class TTrafficView : public QTableView {
public:
    using QTableView::QTableView;

    // Runs `sync`, which may only take rows from the top of the model and add rows at its end, and
    // returns how many it took from the top.
    int takeBatch(const std::function<int()>& sync) {
        // Anything else pending is laid out and painted as usual first.
        executeDelayedItemsLayout();
        const int rowHeight = verticalHeader()->defaultSectionSize();
        const int onScreen = (viewport()->height() + rowHeight - 1) / rowHeight;
        const int top0 = verticalScrollBar()->value();
        const int rows0 = model()->rowCount();
        m_quiet = true;
        const int gone = sync();
        executeDelayedItemsLayout();
        m_quiet = false;
        // Scrolling has moved the pixels by the change of the top row; the rows gone from above
        // move them further.
        if (gone >= onScreen) {
            viewport()->update();
            return gone;
        }
        if (gone > 0)
            viewport()->scroll(0, -gone * rowHeight);
        // Rows on the screen now that were not before, in today's row numbers.
        const int top = verticalScrollBar()->value();
        const int shownFrom = top0 - gone;
        const int shownTo = std::min(top0 + onScreen, rows0) - gone;
        const auto repaint = [&](int from, int to) {
            if (from < to)
                viewport()->update(0, (from - top) * rowHeight, viewport()->width(), (to - from) * rowHeight);
        };
        // Not below the last row, where the view shows its background as it did.
        const int rows = model()->rowCount();
        repaint(top, std::min({top + onScreen, shownFrom, rows}));
        repaint(std::max(top, shownTo), std::min(top + onScreen, rows));
        return gone;
    }

protected:
    void doItemsLayout() override {
        if (!m_quiet) {
            QTableView::doItemsLayout();
            return;
        }
        // The layout without its repaint of the whole view.
        const int rows = model()->rowCount();
        const int rowHeight = verticalHeader()->defaultSectionSize();
        if (qint64(rows) * rowHeight > maximumViewportSize().height()) {
            // More rows than fit whatever the scroll bars do: only the rows' count changed, so only
            // the vertical scroll bar's range changes, as the table's own layout would set it for rows
            // of one height; its headers and margins stay as they are.
            const int fit = std::max(1, viewport()->height() / rowHeight);
            verticalScrollBar()->setRange(0, rows - fit);
            verticalScrollBar()->setPageStep(fit);
        } else {
            updateGeometries();
        }
        // A table view stops painting the row header while rows go; it is hidden here anyway.
        verticalHeader()->setUpdatesEnabled(true);
    }

private:
    bool m_quiet = false;
};

void InstallTrafficMonitor(TMainWindow* window) {
    auto monitor = std::make_shared<QPointer<TTrafficMonitor>>();
    QObject::connect(window->MonitorAction, &QAction::triggered, window, [window, monitor] {
        if (!*monitor)
            *monitor = new TTrafficMonitor(window);
        (*monitor)->ShowBeside();
    });
    QObject::connect(window->SaveTrafficAction, &QAction::triggered, window, [window] {
        SaveTrafficAs(window, window->StartUs(), [window] {
            const TrafficBuffer& buffer = window->Traffic();
            return TrafficRange{buffer.Size(),
                                [&buffer](qsizetype i) -> const TrafficRecord& { return buffer.At(i); }};
        });
    });
}

QRect PlaceBeside(const QRect& panel, const QRect& free, const QSize& want) {
    const int right = free.right() - panel.right() - kGap;
    const int below = free.bottom() - panel.bottom() - kGap;
    if (right >= kLeastSize.width())
        return {panel.right() + 1 + kGap, panel.top(), std::min(want.width(), right), panel.height()};
    if (below >= kLeastSize.height()) {
        const int width = std::min(std::max(want.width(), panel.width()), free.width());
        return {std::clamp(panel.left(), free.left(), free.right() + 1 - width), panel.bottom() + 1 + kGap,
                width, std::min(want.height(), below)};
    }
    // No room beside the panel: over its right part, inside the screen.
    const QSize size = want.boundedTo(free.size());
    return {QPoint(free.right() + 1 - size.width(), std::max(free.top(), panel.top())), size};
}

TrafficFileFormat TrafficFormatForPath(const QString& path, TrafficFileFormat fallback) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"csv")
        return TrafficFileFormat::Csv;
    if (suffix == u"txt" || suffix == u"log")
        return TrafficFileFormat::LogText;
    return fallback;
}

bool SaveTrafficFile(const QString& path, TrafficFileFormat format, qint64 originUs,
                     const TrafficRange& records, QString* error) {
    QSaveFile file(path);
    const auto fail = [&file, error] {
        if (error)
            *error = file.errorString();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    TrafficWriter writer(file, format, originUs,
                         [](const TrafficRecord& r) { return VerdictText(r.verdict, r.exceptionCode); });
    if (!writer.Begin())
        return fail();
    for (qsizetype i = 0; i < records.count; ++i)
        if (!writer.Write(records.at(i)))
            return fail();
    return file.commit() || fail();
}

void SaveTrafficAs(QWidget* parent, qint64 originUs, const std::function<TrafficRange()>& records) {
    QFileDialog dialog(parent, QCoreApplication::translate("TTrafficMonitor", "保存通讯记录"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Decided by the filter's place in the list, never by its text.
    const QStringList filters{QCoreApplication::translate("TTrafficMonitor", "通讯日志文本 (*.txt *.log)"),
                              QCoreApplication::translate("TTrafficMonitor", "CSV 表格 (*.csv)")};
    const auto formatOf = [&filters](const QString& filter) {
        return filters.indexOf(filter) == 1 ? TrafficFileFormat::Csv : TrafficFileFormat::LogText;
    };
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        dialog.setDefaultSuffix(formatOf(filter) == TrafficFileFormat::Csv ? QStringLiteral("csv")
                                                                           : QStringLiteral("txt"));
    });
    // Without a suffix, so that the chosen type gives it.
    dialog.selectFile(QStringLiteral("z7-traffic-%1")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    QString why;
    if (!SaveTrafficFile(path, TrafficFormatForPath(path, formatOf(dialog.selectedNameFilter())), originUs,
                         records(), &why))
        QMessageBox::warning(
            parent, QCoreApplication::translate("TTrafficMonitor", "保存通讯记录"),
            QCoreApplication::translate("TTrafficMonitor", "无法写入 %1：\n%2").arg(path, why));
}

TTrafficMonitor::TTrafficMonitor(TMainWindow* window)
    : QWidget(window, Qt::Window), m_window(window),
      m_model(new TTrafficModel(window->Traffic(), window->StartUs(), this)),
      m_texts(std::make_unique<TTextCache>(font())) {
    m_table = new TTrafficView(this);
    m_table->setModel(m_model);
    m_table->setItemDelegate(new TTrafficDelegate(m_model, *m_texts, m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setWordWrap(false);
    m_table->setShowGrid(false);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* rows = m_table->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* columns = m_table->horizontalHeader();
    columns->setHighlightSections(false);
    columns->setStretchLastSection(true);

    // The view follows the newest record until the user scrolls away from the bottom, and again once
    // they scroll back to it. Only scrolling that this window does not do itself decides that.
    m_table->setVerticalScrollBar(new TQuietScrollBar(Qt::Vertical, m_table));
    QScrollBar* bar = m_table->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!m_scrolling)
            m_follow = value >= bar->maximum();
    });
    // Opaque, so that its changes at each batch do not repaint the view and the window behind it.
    bar->setAutoFillBackground(true);
    connect(bar, &QScrollBar::rangeChanged, this, [this](int, int maximum) {
        if (m_follow)
            scrollTo(maximum);
    });

    m_copy = new QAction(this);
    m_copy->setShortcut(QKeySequence::Copy);
    m_copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_copy, &QAction::triggered, this, &TTrafficMonitor::copySelection);
    m_table->addAction(m_copy);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);

    m_pause = new QPushButton(this);
    m_pause->setObjectName(QStringLiteral("pause"));
    m_pause->setCheckable(true);
    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
        showPauseText();
        setPaused(paused);
    });
    m_clear = new QPushButton(this);
    m_clear->setObjectName(QStringLiteral("clear"));
    connect(m_clear, &QPushButton::clicked, this, &TTrafficMonitor::clear);
    m_problems = new QCheckBox(this);
    m_problems->setObjectName(QStringLiteral("problemsOnly"));
    connect(m_problems, &QCheckBox::toggled, this, &TTrafficMonitor::setProblemsOnly);
    m_copyButton = new QPushButton(this);
    m_copyButton->setObjectName(QStringLiteral("copy"));
    connect(m_copyButton, &QPushButton::clicked, m_copy, &QAction::trigger);
    m_save = new QPushButton(this);
    m_save->setObjectName(QStringLiteral("save"));
    connect(m_save, &QPushButton::clicked, this, &TTrafficMonitor::saveShown);

    auto* tools = new QHBoxLayout;
    tools->addWidget(m_pause);
    tools->addWidget(m_clear);
    tools->addWidget(m_problems);
    tools->addStretch(1);
    tools->addWidget(m_copyButton);
    tools->addWidget(m_save);

    // Sized to their widest texts in the language shown (retranslateUi).
    m_shown = new TValueLabel(*m_texts, QString(), this);
    m_shown->setObjectName(QStringLiteral("shown"));
    m_dropped = new TValueLabel(*m_texts, QString(), this);
    m_dropped->setObjectName(QStringLiteral("dropped"));
    m_dropped->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* info = new QHBoxLayout;
    info->addWidget(m_shown);
    info->addStretch(1);
    info->addWidget(m_dropped);

    auto* left = new QVBoxLayout;
    left->addLayout(tools);
    left->addWidget(m_table, 1);
    left->addLayout(info);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(createStatistics());

    connect(window, &TMainWindow::trafficCleared, this, [this] {
        m_model->Reset();
        refreshStatistics();
    });
    retranslateUi();
}

void TTrafficMonitor::retranslateUi() {
    setWindowTitle(tr("通讯监视"));
    m_copy->setText(tr("复制"));
    m_copy->setToolTip(tr("把选中的行按通讯日志的格式复制到剪贴板"));
    showPauseText();
    m_pause->setToolTip(tr("暂停显示；记录照常收集，继续时补上"));
    m_clear->setText(tr("清除"));
    m_clear->setToolTip(tr("清除全部通讯记录；统计不变（用“统计清零”）"));
    m_problems->setText(tr("只显示错误和无应答"));
    m_copyButton->setText(m_copy->text());
    m_copyButton->setToolTip(m_copy->toolTip());
    m_save->setText(tr("另存为…"));
    m_save->setToolTip(tr("把表中显示的记录存为文本或 CSV"));
    static_cast<TValueLabel*>(m_shown)->SetWidest(ShownText(9999999, true, 9999999));
    static_cast<TValueLabel*>(m_dropped)->SetWidest(DroppedText(9999999, 999999999));

    m_countsHeading->setText(tr("计数"));
    m_figureNames[0]->setText(tr("请求"));
    m_figureNames[1]->setText(tr("其中轮询"));
    m_figureNames[2]->setText(tr("轮询接收率"));
    for (int i = 0; i < kVerdictCount; ++i)
        if (QLabel* name = m_countNames[size_t(i)])
            name->setText(VerdictName(Verdict(i)));
    m_timesHeading->setText(tr("响应时间"));
    static_cast<TValueLabel*>(m_timed)->SetWidest(tr("%1 次").arg(QStringLiteral("000000000")));
    m_measured->setText(tr("实测"));
    m_lessHeader->setToolTip(tr("从请求交给串口到收到应答。串口在线路静默 %1 ms 之后才交付收到的字节，"
                                "右列减去这段静默，余下的是设备和线路上传输所用的时间。")
                                 .arg(m_window->Form()->Comm1->ReadIntervalTimeout()));
    const QString names[] = {tr("最近"), tr("最小"), tr("平均"), tr("95%"), tr("最大")};
    for (size_t row = 0; row < m_timeNames.size(); ++row)
        m_timeNames[row]->setText(names[row]);
    m_reset->setText(tr("统计清零"));

    m_model->Retranslate();
    fitColumns();
    refreshStatistics();
}

void TTrafficMonitor::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslateUi();
    QWidget::changeEvent(event);
}

void TTrafficMonitor::showPauseText() {
    m_pause->setText(m_pause->isChecked() ? tr("继续") : tr("暂停"));
}

// Each column as wide as its title or its widest text, whichever is wider, in the language shown.
void TTrafficMonitor::fitColumns() {
    const QFontMetrics fm = fontMetrics();
    const auto fit = [&fm, this](int column, const QString& widest) {
        const QString title = m_model->headerData(column, Qt::Horizontal).toString();
        m_table->setColumnWidth(column,
                                std::max(fm.horizontalAdvance(title), fm.horizontalAdvance(widest)) + 16);
    };
    fit(TTrafficModel::TimeColumn, QStringLiteral("0000000.0"));
    fit(TTrafficModel::DirectionColumn, DirectionText(TrafficDirection::Missing));
    fit(TTrafficModel::LengthColumn, QStringLiteral("0000"));
    // Longer exception names are cut; the tooltip has them.
    fit(TTrafficModel::VerdictColumn, VerdictText(Verdict::Exception, 0x04));
}

QWidget* TTrafficMonitor::createStatistics() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    const QString widestCount = QStringLiteral("000000000");
    const QString widestTime = MillisecondsText(999999900);
    const auto value = [this, box](const QString& name, const QString& widest) {
        auto* label = new TValueLabel(*m_texts, widest, box);
        label->setObjectName(name);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return label;
    };

    // Plain headings rather than group boxes, whose shaded inside the figures' own background would
    // not match.
    const auto heading = [box, column] {
        auto* label = new QLabel(box);
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        column->addWidget(label);
        return label;
    };

    // Two name-value pairs a row.
    m_countsHeading = heading();
    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(8);
    int slot = 0;
    // Returns the name's label.
    const auto add = [&](QLabel* label) {
        auto* name = new QLabel(box);
        grid->addWidget(name, slot / 2, (slot % 2) * 2);
        grid->addWidget(label, slot / 2, (slot % 2) * 2 + 1, Qt::AlignRight);
        ++slot;
        return name;
    };
    m_requests = value(QStringLiteral("requests"), widestCount);
    m_figureNames[0] = add(m_requests);
    m_polls = value(QStringLiteral("polls"), widestCount);
    m_figureNames[1] = add(m_polls);
    m_share = value(QStringLiteral("share"), QStringLiteral("100.0%"));
    m_figureNames[2] = add(m_share);
    for (int i = 0; i < kVerdictCount; ++i) {
        const Verdict verdict = Verdict(i);
        if (verdict == Verdict::Sent)
            continue;
        m_counts[size_t(i)] =
            value(QStringLiteral("count_") + QLatin1String(VerdictKeyword(verdict)), widestCount);
        m_countNames[size_t(i)] = add(m_counts[size_t(i)]);
    }
    grid->setColumnMinimumWidth(2, 24);
    column->addLayout(grid);
    column->addSpacing(8);

    m_timesHeading = heading();
    auto* table = new QGridLayout;
    table->setVerticalSpacing(2);
    table->setHorizontalSpacing(12);
    m_timed = value(QStringLiteral("timed"), QString());
    m_timed->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->addWidget(m_timed, 0, 0);
    m_measured = new QLabel(box);
    table->addWidget(m_measured, 0, 1, Qt::AlignRight);
    m_lessHeader = new QLabel(box);
    m_lessHeader->setObjectName(QStringLiteral("lessInterval"));
    table->addWidget(m_lessHeader, 0, 2, Qt::AlignRight);
    const char* keys[] = {"last", "min", "mean", "p95", "max"};
    for (int row = 0; row < 5; ++row) {
        m_timeNames[size_t(row)] = new QLabel(box);
        table->addWidget(m_timeNames[size_t(row)], row + 1, 0);
        for (int col = 0; col < 2; ++col) {
            QLabel*& label = m_times[size_t(row)][size_t(col)];
            label = value(QStringLiteral("time_%1%2")
                              .arg(QLatin1String(keys[row]), col ? QStringLiteral("_less") : QString()),
                          widestTime);
            table->addWidget(label, row + 1, col + 1, Qt::AlignRight);
        }
    }
    column->addLayout(table);
    column->addSpacing(8);

    m_reset = new QPushButton(box);
    m_reset->setObjectName(QStringLiteral("resetStats"));
    connect(m_reset, &QPushButton::clicked, this, [this] {
        m_window->ResetStats();
        refreshStatistics();
    });
    column->addWidget(m_reset, 0, Qt::AlignLeft);
    column->addStretch(1);
    return box;
}

void TTrafficMonitor::ShowBeside() {
    if (!m_placed) {
        placeBeside();
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
}

void TTrafficMonitor::placeBeside() {
    setGeometry(PlaceBeside(m_window->frameGeometry(), m_window->screen()->availableGeometry(),
                            kPreferredSize.expandedTo(sizeHint())));
}

TTrafficMonitor::~TTrafficMonitor() = default;

QTableView* TTrafficMonitor::Table() const {
    return m_table;
}

bool TTrafficMonitor::Following() const {
    return m_follow;
}

void TTrafficMonitor::scrollTo(int value) {
    m_scrolling = true;
    m_table->verticalScrollBar()->setValue(value);
    m_scrolling = false;
}

TrafficRange TTrafficMonitor::ShownRecords() const {
    const TTrafficModel* model = m_model;
    return {model->rowCount(),
            [model](qsizetype row) -> const TrafficRecord& { return model->RecordAt(int(row)); }};
}

// New rows come in batches with the statistics, when the main window brings its status bar up to date
// (a quarter of a second after the first record of a burst): a poll's request and its answer come in
// one, and the window is painted once a poll, in the same pass as the status bar, whose painting has
// just warmed much of what this one uses, and with no wake-up of its own.
void TTrafficMonitor::takeBatch() {
    syncRows();
    refreshStatistics();
}

void TTrafficMonitor::syncRows() {
    m_table->takeBatch([this] {
        const int value = m_table->verticalScrollBar()->value();
        const int gone = m_model->Sync();
        // Following, the view goes to the bottom when its layout takes the new rows in
        // (rangeChanged). Scrolled away, the rows looked at stay in place as older ones go.
        if (!m_follow && gone > 0)
            scrollTo(value - gone);
        return gone;
    });
    showCounts();
}

QString TTrafficMonitor::ShownText(int rows, bool paused, qint64 waiting) {
    QString text = tr("显示 %1 条").arg(rows);
    if (paused)
        text += tr("（已暂停，%1 条新记录未显示）").arg(waiting);
    return text;
}

QString TTrafficMonitor::DroppedText(qsizetype capacity, qint64 dropped) {
    return tr("保留最近 %1 条，已丢弃 %2 条").arg(capacity).arg(dropped);
}

void TTrafficMonitor::showCounts() {
    const TrafficBuffer& buffer = m_window->Traffic();
    m_shown->setText(ShownText(m_model->rowCount(), m_model->Paused(), m_model->Waiting()));
    m_dropped->setText(DroppedText(buffer.Capacity(), buffer.Dropped()));
}

void TTrafficMonitor::setPaused(bool paused) {
    m_model->SetPaused(paused);
    refreshStatistics();
}

void TTrafficMonitor::setProblemsOnly(bool problemsOnly) {
    m_model->SetProblemsOnly(problemsOnly);
    m_follow = true;
    refreshStatistics();
}

void TTrafficMonitor::clear() {
    m_window->ClearTraffic();
}

void TTrafficMonitor::copySelection() {
    QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QString text;
    for (const QModelIndex& index : rows) {
        text += TrafficLogLine(m_model->RecordAt(index.row()));
        text += QLatin1Char('\n');
    }
    QApplication::clipboard()->setText(text);
}

void TTrafficMonitor::saveShown() {
    SaveTrafficAs(this, m_model->OriginUs(), [this] { return ShownRecords(); });
}

void TTrafficMonitor::refreshStatistics() {
    const TrafficStats& stats = m_window->Stats();
    m_requests->setText(QString::number(stats.Requests()));
    m_polls->setText(QString::number(stats.Polls()));
    const std::optional<double> share = stats.AcceptedShare();
    m_share->setText(share ? QStringLiteral("%1%").arg(*share * 100.0, 0, 'f', 1) : QStringLiteral("–"));
    for (int i = 0; i < kVerdictCount; ++i)
        if (QLabel* label = m_counts[size_t(i)])
            label->setText(QString::number(stats.Count(Verdict(i))));

    const qint64 intervalUs = qint64(m_window->Form()->Comm1->ReadIntervalTimeout()) * 1000;
    m_lessHeader->setText(tr("减去 %1 ms 静默间隔").arg(intervalUs / 1000));
    const TrafficStats::ResponseTimes r = stats.Responses();
    const qint64 values[] = {r.lastUs, r.minUs, r.meanUs, r.p95Us, r.maxUs};
    for (size_t row = 0; row < 5; ++row) {
        m_times[row][0]->setText(r.count ? MillisecondsText(values[row]) : QStringLiteral("–"));
        m_times[row][1]->setText(r.count ? MillisecondsText(values[row] - intervalUs) : QStringLiteral("–"));
    }
    m_timed->setText(tr("%1 次").arg(r.count));
    showCounts();
}

void TTrafficMonitor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_batches)
        m_batches = connect(m_window, &TMainWindow::statusRefreshed, this, &TTrafficMonitor::takeBatch);
    takeBatch();
}

void TTrafficMonitor::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Closed, the window costs nothing: the rows catch up when it is shown again.
    disconnect(m_batches);
    m_batches = {};
}
