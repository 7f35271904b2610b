#pragma once
// The trend window 趋势: the recorded quantities of one device over time, drawn from the history file
// with at most four points per pixel column, alarm periods as shaded bands, a cursor that reads out
// every shown quantity, wheel zoom, drag pan and a live follow of the newest readings.

#include "HistoryText.h"
#include "TrendData.h"

#include <QChartView>
#include <QElapsedTimer>
#include <QWidget>

class QCategoryAxis;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTimer;
class QValueAxis;

class TTrendChartView : public QChartView {
    Q_OBJECT
public:
    TTrendChartView(QChart* chart, QWidget* parent);
    // What the bands and the cursor are drawn from; owned by the window.
    void SetData(const TrendData* data) { m_data = data; }
    int CursorX() const { return m_cursorX; }

signals:
    void zoomRequested(double plotX, double factor);
    void panRequested(double pixels);
    void cursorMoved(int plotX); // -1 when the pointer left the plot

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;

private:
    const TrendData* m_data = nullptr;
    int m_cursorX = -1;
    std::optional<double> m_dragX;
};

class TTrendWindow : public QWidget {
    Q_OBJECT
public:
    enum Preset { Minutes5, Hour1, Hours8, Hours24, Days7, Days30, All };
    Q_ENUM(Preset)

    TTrendWindow(const QString& historyPath, QWidget* parent = nullptr);
    ~TTrendWindow() override;

    // Opens on this device's history (or the newest device's, when it has none yet).
    void ShowDevice(const DeviceKey& device);
    // A preset span ending now, following the newest readings.
    void SetPreset(Preset preset);
    // A span of its own; stops following. The range box then says "custom" and shows the span.
    void SetRange(qint64 from, qint64 to);
    void SetFollow(bool follow);
    void SetQuantities(const QList<Quantity>& quantities);
    QList<Quantity> Quantities() const { return m_quantities; }
    // The zone of the time axis, the range box, the read-out and the exported title.
    void SetZone(ShownZone zone);
    ShownZone Zone() const { return m_zone; }
    // The value axis of a unit shows this range whatever the data, or with nullopt the data's own again.
    // False for an empty or reversed range, which changes nothing.
    bool SetAxisRange(const QString& unit, std::optional<std::pair<double, double>> range);
    QValueAxis* ValueAxis(const QString& unit) const { return m_axes.value(unit); }
    QCategoryAxis* TimeAxis() const { return m_time; }

    qint64 From() const { return m_from; }
    // The pixel columns the shown data was reduced to.
    int Columns() const { return m_data.columns; }
    qint64 To() const { return m_to; }
    bool Following() const;
    const TrendData& Data() const { return m_data; }
    std::optional<DeviceKey> Device() const;
    TTrendChartView* ChartView() const { return m_view; }
    // The read-out of the cursor at a pixel column of the plot.
    QString ReadoutAt(int plotX) const;
    QString Readout() const;

    // The visible span of the shown device: its blocks as the readings CSV where they are kept at full
    // resolution, else its minute rows as the minutes CSV.
    bool ExportCsv(const QString& path, QString* error);
    // The chart under a title (the device; the span in the zone shown) and over a legend.
    QImage ExportImage() const;
    QStringList ExportTitle() const;
    bool ExportPng(const QString& path);

    // The quantities the window offers, in the order of its boxes.
    static const QList<Quantity>& Offered();

public slots:
    // New readings were committed.
    void newData();
    void Reload();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void retranslateUi();
    void reloadSoon();
    void zoom(double plotX, double factor);
    void pan(double pixels);
    // Following the newest readings over a span of this length.
    void followNewest(qint64 span);
    // The range box shows the span.
    void showSpan();
    void rebuildSeries();
    void drawSeries();
    void drawTimeAxis();
    // Readings further apart than this are not joined by a line: the recording paused between them.
    double bridgedMs() const;
    void titleAxes();
    // The axis controls show the chosen axis' range and whether it is automatic.
    void showAxisChoice();
    void showReadout(int plotX);
    void chooseCsv();
    void choosePng();
    int deviceId() const;

    HistoryStore m_store;
    QString m_openError;
    QHash<int, DeviceKey> m_devices;
    QComboBox* m_device = nullptr;
    QComboBox* m_preset = nullptr;
    QCheckBox* m_follow = nullptr;
    QLabel* m_deviceLabel = nullptr;
    QLabel* m_rangeLabel = nullptr;
    QDateTimeEdit* m_fromEdit = nullptr;
    QDateTimeEdit* m_toEdit = nullptr;
    QComboBox* m_zoneBox = nullptr;
    QLabel* m_axisLabel = nullptr;
    QComboBox* m_axisBox = nullptr; // by unit
    QCheckBox* m_axisAuto = nullptr;
    QDoubleSpinBox* m_axisMin = nullptr;
    QDoubleSpinBox* m_axisMax = nullptr;
    QPushButton* m_csv = nullptr;
    QPushButton* m_png = nullptr;
    QList<QCheckBox*> m_boxes;
    QLabel* m_readout = nullptr;
    TTrendChartView* m_view = nullptr;
    QChart* m_chart = nullptr;
    QCategoryAxis* m_time = nullptr;
    QHash<QString, QValueAxis*> m_axes;                     // by unit
    QHash<QString, std::pair<double, double>> m_axisRanges; // by unit, set by hand
    QTimer* m_reloadTimer = nullptr;
    QElapsedTimer m_sinceReload;
    bool m_reloadOnShow = false; // asked to reload while hidden

    QList<Quantity> m_quantities;
    ShownZone m_zone = ShownZone::Local;
    // The preset last chosen, which following and opening the window again come back to.
    Preset m_chosenPreset = Hour1;
    qint64 m_from = 0;
    qint64 m_to = 0;
    TrendData m_data;
};
