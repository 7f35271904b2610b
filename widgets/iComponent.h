#pragma once
// TiComponent: the frame every instrument widget stands on.
//
// Writing a widget class on the frame (derive from TiCustomComponent or a position/scale class):
// - Implement iPaintTo(QPainter& Canvas): draw the whole face onto the off-screen image the frame hands
//   in (antialiasing off, Win32 pixel rules: use iWinRect/iFillRect/iFrameRect/iLine). Put the static
//   layers in PaintStaticLayers(Canvas, lambda): they are then cached while CachedDrawing is on and
//   rebuilt only after a BackGroundChange. Start with DrawBackGround(Canvas, BackGroundColor()).
//   Throwing from iPaintTo shows the message white on black instead of the face.
// - Properties: Q_PROPERTY(type Name READ Name WRITE SetName); setters go through SetField(field,
//   value, irkInvalidate | irkBackGround), which does nothing when the value is unchanged. Request
//   repaints only with InvalidateChange() (dynamic content) or BackGroundChange() (static layers);
//   never call update() directly, so the update lock and AutoFrameRate hold.
// - Input: override the i... hooks (iMouseDown/iMouseUp/iMouseMove/iDoubleClick/iMouseWheel,
//   iKeyDown/iKeyUp/iKeyPress/iWantSpecialKey, iGotFocus/iLostFocus). The frame raises the public
//   events (OnClick with the click rule, OnMouseDown, ...), sets UserInput() around every hook call,
//   and discards exceptions thrown by hooks and by the application's handlers. A key press reaches
//   iKeyDown once, before OnKeyDown (a key release: iKeyUp, then OnKeyUp).
// - While IsLoading() (layout or property file being applied) setters store values without events.
//   Extra streamed values ("PositionMax_2") are declared in DefineExtraValues and bypass the setters.

#include "iFont.h"
#include "iTypes.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <memory>
#include <stdexcept>

class QPainter;
class QTimer;

namespace TiEnums {
Q_NAMESPACE
enum TiBevelStyle { ibsNone, ibsRaised, ibsLowered };
Q_ENUM_NS(TiBevelStyle)
enum TiOrientation { ioVertical, ioHorizontal };
Q_ENUM_NS(TiOrientation)
enum TiOrientationSide { iosBottomRight, iosTopLeft };
Q_ENUM_NS(TiOrientationSide)
enum TiTickMinorAlignment { itmnaInside, itmnaCenter, itmnaOutside };
Q_ENUM_NS(TiTickMinorAlignment)
enum TiPrecisionStyle { ipsSignificantDigits, ipsFixedDecimalPoints };
Q_ENUM_NS(TiPrecisionStyle)
enum TiAutoScaleStyle { iassAutoMinMax, iassFixedMinMax };
Q_ENUM_NS(TiAutoScaleStyle)

enum TMouseButton { mbLeft, mbRight, mbMiddle };
Q_ENUM_NS(TMouseButton)

enum TShiftStateFlag {
    ssShift = 0x01,
    ssAlt = 0x02,
    ssCtrl = 0x04,
    ssLeft = 0x08,
    ssRight = 0x10,
    ssMiddle = 0x20,
    ssDouble = 0x40,
};
Q_DECLARE_FLAGS(TShiftState, TShiftStateFlag)
Q_FLAG_NS(TShiftState)

// Repaint kind of the property setter helpers.
enum TiRepaintKind { irkInvalidate = 0, irkBackGround = 1, irkNone = 2 };
} // namespace TiEnums
Q_DECLARE_OPERATORS_FOR_FLAGS(TiEnums::TShiftState)
using namespace TiEnums;

// DrawWidgetText flags.
namespace TiTextFlags {
constexpr unsigned itfLeft = 0x1;
constexpr unsigned itfCenter = 0x2;
constexpr unsigned itfRight = 0x4;
constexpr unsigned itfTop = 0x8;
constexpr unsigned itfVCenter = 0x10;
constexpr unsigned itfBottom = 0x20;
constexpr unsigned itfWordBreak = 0x40;
constexpr unsigned itfSingleLine = 0x80;
constexpr unsigned itfExpandTabs = 0x100;
constexpr unsigned itfNoClip = 0x200;
constexpr unsigned itfPrefix = 0x400; // "&x" draws x underlined; without it "&" is drawn as is
constexpr unsigned itfCalcRect = 0x800;
constexpr unsigned itfEndEllipsis = 0x1000;
constexpr unsigned itfPathEllipsis = 0x2000;
constexpr unsigned itfWordEllipsis = 0x4000;
} // namespace TiTextFlags
using namespace TiTextFlags;

// Errors the widgets raise (limit index, property files). Caught by the frame's guard in input handling.
class EiError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---- Pixel helpers with Win32 rules (right and bottom edges excluded) ----
int iRound(double v); // halves to the even neighbour
// The pixels of the Win32 rectangle (Left, Top, Right, Bottom): Right and Bottom are outside.
QRect iWinRect(int Left, int Top, int Right, int Bottom);
void iFillRect(QPainter& Canvas, const QRect& r, const QColor& c);
// Outline on the outermost pixels of r in the current pen.
void iFrameRect(QPainter& Canvas, const QRect& r);
// Ellipse inscribed in r (outline in the pen, interior in the brush).
void iEllipse(QPainter& Canvas, const QRect& r);
// MoveTo(p1)/LineTo(p2): the end pixel is not drawn. One-pixel pen of the painter's pen colour.
void iLine(QPainter& Canvas, QPoint p1, QPoint p2);
// The pixels a convex polygon covers when drawn with a one-pixel pen and a brush of one colour: every
// pixel whose centre lies inside or on it, and along each edge the pixel nearest to it on every row (a
// steep edge) or column (a flat one). Every corner is in, and mirror-image shapes come out mirrored.
QRegion iPolygonPixels(const QPolygon& Points);
// Fills those pixels in Color.
void iPolygon(QPainter& Canvas, const QPolygon& Points, const QColor& Color);
// The point at distance R and angle A degrees (counter-clockwise, 0 = right) from C.
QPoint PolarPoint(QPoint C, double R, double ADegrees);
// Bevel along the edges of r: raised or lowered, two pixels deep.
void DrawBevel(QPainter& Canvas, const QRect& r, TiBevelStyle Style);
// The dotted focus rectangle on the edge pixels of r (drawn twice, it disappears).
void DrawFocusRect(QPainter& Canvas, const QRect& r);

class TiComponent;
using TiEditPermissionHook =
    std::function<void(TiComponent* Sender, const QString& PropertyName, bool& Allow)>;
using TiPropertyChangedHook = std::function<void(TiComponent* Sender, const QString& PropertyName)>;

// An extra streamed value ("PositionMax_2"): read gives the field, write stores straight into it.
// Written always, unless Stored is given and answers false.
struct TiExtraValue {
    QString Name;
    std::function<QVariant()> Read;
    std::function<void(const QVariant&)> Write;
    std::function<bool()> Stored = {};
};

class TiComponent : public QWidget {
    Q_OBJECT
    // Published by every widget. Left out, as the panel uses none of them: PopupMenu (the edit box has
    // its own menu), Anchors, Constraints and the drag events (OnDragDrop, OnDragOver, OnStartDrag,
    // OnEndDrag).
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(int Left READ Left WRITE SetLeft)
    Q_PROPERTY(int Top READ Top WRITE SetTop)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)
    Q_PROPERTY(bool OptionSaveAllProperties READ OptionSaveAllProperties WRITE SetOptionSaveAllProperties)
    Q_PROPERTY(bool AutoFrameRate READ AutoFrameRate WRITE SetAutoFrameRate)
    Q_PROPERTY(int UpdateFrameRate READ UpdateFrameRate WRITE SetUpdateFrameRate)
    // Published by the widget classes that choose to: list them in Q_CLASSINFO("Publish", "A,B,...").
    Q_PROPERTY(int Width READ Width WRITE SetWidth STORED false)
    Q_PROPERTY(int Height READ Height WRITE SetHeight STORED false)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop STORED false)
    Q_PROPERTY(int TabOrder READ TabOrder WRITE SetTabOrder STORED false)
    Q_PROPERTY(uint BackGroundColor READ BackGroundColor WRITE SetBackGroundColor STORED false)
    Q_PROPERTY(QImage BackGroundPicture READ BackGroundPicture WRITE SetBackGroundPicture STORED false)
    Q_PROPERTY(TiEnums::TiBevelStyle BorderStyle READ BorderStyle WRITE SetBorderStyle STORED false)
    Q_PROPERTY(bool CachedDrawing READ CachedDrawing WRITE SetCachedDrawing STORED false)
    Q_PROPERTY(int OffsetX READ OffsetX WRITE SetOffsetX STORED false)
    Q_PROPERTY(int OffsetY READ OffsetY WRITE SetOffsetY STORED false)
    Q_PROPERTY(bool ShowDisabledState READ ShowDisabledState WRITE SetShowDisabledState STORED false)
    Q_PROPERTY(bool ErrorActive READ ErrorActive WRITE SetErrorActive STORED false)
    Q_PROPERTY(QString ErrorText READ ErrorText WRITE SetErrorText STORED false)
    Q_PROPERTY(uint ErrorBackGroundColor READ ErrorBackGroundColor WRITE SetErrorBackGroundColor STORED false)
    Q_PROPERTY(TFont* ErrorFont READ ErrorFont WRITE SetErrorFont STORED false)

public:
    explicit TiComponent(QWidget* parent = nullptr);
    ~TiComponent() override;

    // ---- Published properties ----
    QString Name() const { return objectName(); }
    void SetName(const QString& value) { setObjectName(value); }
    int Left() const { return x(); }
    void SetLeft(int value);
    int Top() const { return y(); }
    void SetTop(int value);
    int Width() const { return width(); }
    void SetWidth(int value);
    int Height() const { return height(); }
    void SetHeight(int value);
    // Position and size in one call; widgets that keep a shape (square LEDs) override it.
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    bool Visible() const { return !isHidden(); }
    void SetVisible(bool value) { setVisible(value); }
    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool value) { setEnabled(value); }
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool value);
    QString Hint() const { return m_hint; }
    void SetHint(const QString& value);
    int Tag() const { return m_tag; }
    void SetTag(int value) { m_tag = value; }
    bool TabStop() const { return m_tabStop; }
    void SetTabStop(bool value);
    // The place among the parent's children that the Tab key reaches, in their focus order; setting it
    // moves the widget there (a negative value leaves it where it is). While the widget is loading, or
    // cannot take the focus by Tab, or has no parent, the value is kept and applied later.
    int TabOrder() const;
    void SetTabOrder(int value);

    bool OptionSaveAllProperties() const { return m_optionSaveAllProperties; }
    void SetOptionSaveAllProperties(bool value) { m_optionSaveAllProperties = value; }
    bool AutoFrameRate() const { return m_autoFrameRate; }
    void SetAutoFrameRate(bool value);
    int UpdateFrameRate() const { return m_updateFrameRate; }
    void SetUpdateFrameRate(int value) { m_updateFrameRate = value; }

    TColor BackGroundColor() const { return m_backGroundColor; }
    virtual void SetBackGroundColor(TColor value);
    QImage BackGroundPicture() const { return m_backGroundPicture; }
    void SetBackGroundPicture(const QImage& value);
    TiBevelStyle BorderStyle() const { return m_borderStyle; }
    virtual void SetBorderStyle(TiBevelStyle value);
    bool CachedDrawing() const { return m_cachedDrawing; }
    virtual void SetCachedDrawing(bool value);
    int OffsetX() const { return m_offsetX; }
    void SetOffsetX(int value) { SetField(m_offsetX, value, irkBackGround); }
    int OffsetY() const { return m_offsetY; }
    void SetOffsetY(int value) { SetField(m_offsetY, value, irkBackGround); }
    bool ShowDisabledState() const { return m_showDisabledState; }
    void SetShowDisabledState(bool value) { SetField(m_showDisabledState, value, irkBackGround); }

    bool ErrorActive() const { return m_errorActive; }
    void SetErrorActive(bool value) { SetField(m_errorActive, value, irkBackGround); }
    QString ErrorText() const { return m_errorText; }
    void SetErrorText(const QString& value) { SetField(m_errorText, value, irkBackGround); }
    TColor ErrorBackGroundColor() const { return m_errorBackGroundColor; }
    void SetErrorBackGroundColor(TColor value) { SetField(m_errorBackGroundColor, value, irkBackGround); }
    TFont* ErrorFont() const { return m_errorFont; }
    void SetErrorFont(TFont* value);

    // Transparent is added by TiVCLComponent; the frame's background path asks it.
    virtual bool Transparent() const { return false; }

    // ---- Repaint requests ----
    // Static layers changed: mark the background dirty, then request a repaint.
    void BackGroundChange();
    // Only dynamic content changed: request a repaint.
    void InvalidateChange();
    virtual void BackGroundRefresh() { BackGroundChange(); }
    void BeginUpdate();
    void EndUpdate();
    bool UpdateLocked() const { return m_updateLock; }
    bool RepaintPending() const { return m_repaintPending; }
    bool BackGroundDirty() const { return m_backGroundDirty; }
    // Repaints actually requested from the window since construction (coalesced requests count each).
    int RepaintRequestCount() const { return m_repaintRequestCount; }

    // Paint lock; a recursive mutex in TiVCLComponent.
    virtual void Lock() {}
    virtual void Unlock() {}

    // ---- Loading state ----
    // True while the layout is read into the widget or a property file is applied.
    bool IsLoading() const { return m_layoutLoading || m_loadingProperties; }
    // The layout reader brackets its assignments with these; EndLoading runs Loaded().
    void BeginLoading();
    void EndLoading();

    // ---- Properties as text: one reader and writer for property files and the window layout ----
    // Lines "Name = Value", nested objects by dotted path ("ErrorFont.Size = 8"), the extra "_2"
    // values after the published ones.
    QStringList SaveProperties() const;
    // Applies lines as SaveProperties writes them, inside the loading state; "_2" values are applied
    // last, straight to their fields. Throws EiError (nothing applied) on an unknown name or bad value.
    void LoadProperties(const QStringList& Lines);
    void SavePropertiesToFile(const QString& FileName) const;
    void LoadPropertiesFromFile(const QString& FileName);
    // The class name written after "File Type = " (the Delphi-style class name, e.g. "TiKnob").
    QString ClassName() const;

    // ---- Optional hooks (not published) ----
    void SetEditPermissionHook(TiEditPermissionHook hook) { m_editPermissionHook = std::move(hook); }
    void SetPropertyChangedHook(TiPropertyChangedHook hook) { m_propertyChangedHook = std::move(hook); }

    // ---- State for widgets and tests ----
    bool HasFocus() const { return m_hasFocus; }
    bool UserInput() const { return m_userInput; }
    virtual QPoint GetCenterPoint() const;

    // Text in Rect with the itf... flags; returns the text height. With itfCalcRect only measures and
    // sets Rect to the text's box. Disabled (and not on a black BackColor) it is drawn embossed.
    static int DrawWidgetText(QPainter& Canvas, const QString& Text, QRect& Rect, TColor BackColor,
                              bool Enabled, unsigned Flags);

signals:
    void OnClick();
    void OnDblClick();
    void OnMouseDown(TiEnums::TMouseButton Button, TiEnums::TShiftState Shift, int X, int Y);
    void OnMouseMove(TiEnums::TShiftState Shift, int X, int Y);
    void OnMouseUp(TiEnums::TMouseButton Button, TiEnums::TShiftState Shift, int X, int Y);
    void OnKeyDown(int& Key, TiEnums::TShiftState Shift);
    void OnKeyUp(int& Key, TiEnums::TShiftState Shift);
    void OnKeyPress(QChar& Key);
    void OnEnter();
    void OnExit();

protected:
    // ---- Paint ----
    virtual void iPaintTo(QPainter& Canvas) = 0;
    // Fill (or picture, or transparent copy) and border of the whole widget; clears the dirty mark.
    virtual void DrawBackGround(QPainter& Canvas, TColor Color);
    virtual void DrawBorder(QPainter& Canvas);
    // Static layers: drawn by DrawStatic into the cache (only when the background is dirty) and copied,
    // or straight onto the canvas when CachedDrawing is off.
    void PaintStaticLayers(QPainter& Canvas, const std::function<void(QPainter&)>& DrawStatic);
    // The background path's copy of what lies behind a transparent widget (TiVCLComponent); false when
    // that could not be copied yet, so the static layers are drawn again at the next paint.
    virtual bool DrawTransparentBackGround(QPainter& Canvas, TColor Color);

    // ---- Input hooks (all empty in the frame) ----
    virtual void iGotFocus();  // frame default: repaint
    virtual void iLostFocus(); // frame default: repaint (the press was already ended by iMouseUp)
    // Result 1 claims the key (arrows then reach the widget instead of moving the focus).
    virtual void iWantSpecialKey(int& Key, int& Result);
    virtual void iKeyUp(int& Key, TShiftState Shift);
    virtual void iKeyDown(int& Key, TShiftState Shift);
    virtual void iKeyPress(QChar& Key);
    virtual void iMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void iMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void iMouseMove(TShiftState Shift, int X, int Y);
    virtual void iDoubleClick();
    // True when the wheel was used; otherwise the parent gets it.
    virtual bool iMouseWheel(int WheelDelta, TShiftState Shift, QPoint MousePos);

    // ---- Property helpers ----
    // Stores value and requests the repaint of kind when it differs; returns whether it changed.
    template <typename T> bool SetField(T& field, const T& value, TiRepaintKind kind) {
        if (field == value)
            return false;
        field = value;
        RequestRepaint(kind);
        return true;
    }
    void RequestRepaint(TiRepaintKind kind);
    // Edit-permission hook: false when it vetoes the change.
    bool AskEditPermission(const QString& PropertyName);
    void TellPropertyChanged(const QString& PropertyName);
    // Tells linked data servers of a change; false here (no links in this program).
    virtual bool NotifyPropertyChanged(const QString& PropertyName, const QVariant& Value);

    // Extra streamed values; derived classes call the base first, then append theirs.
    virtual void DefineExtraValues(QList<TiExtraValue>& Values);
    // Runs once after the layout or a property file was applied (automatic scale and the like).
    virtual void Loaded() {}

    // Sets the user-input flag for the scope of a call made on the operator's behalf.
    class UserInputScope {
    public:
        explicit UserInputScope(TiComponent* c) : m_c(c), m_old(c->m_userInput) { c->m_userInput = true; }
        ~UserInputScope() { m_c->m_userInput = m_old; }
        UserInputScope(const UserInputScope&) = delete;
        UserInputScope& operator=(const UserInputScope&) = delete;

    private:
        TiComponent* m_c;
        bool m_old;
    };

    // Runs f; an exception from a widget hook or an application handler is dropped here. Input paths
    // of the widgets themselves (accelerators) go through it too.
    void Guarded(const std::function<void()>& f);

    // The cache bitmap (Width x Height), created on demand.
    QImage& CacheBitmap();

    // ---- QWidget plumbing ----
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void changeEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

    // Renders one paint into a fresh image of the widget's size (used by the paint cycle and tests).
public:
    QImage RenderToImage();

private:
    friend class TiUpdateObject;
    void ScheduleRepaint();
    void RepaintNow();
    bool FrameRateAllowsRepaint() const;
    void LoadPropertiesImpl(const QStringList& Lines);
    // Moves the widget to its stored TabOrder in its parent's focus order.
    void ApplyTabOrder();
    // After the layout or a property file: a TabOrder read meanwhile, then the widget's own Loaded().
    void FinishLoading();

    bool m_updateLock = false;
    int m_updateFrameRate = 60;
    qint64 m_lastRepaintRequestNs = 0;
    bool m_repaintPending = false;
    int m_repaintRequestCount = 0;
    QImage m_cache;
    QImage m_backGroundPicture;
    TColor m_backGroundColor = clBtnFace;
    bool m_backGroundDirty = true;
    bool m_staticIncomplete = false; // the static layers just drawn lack the transparent copy
    int m_offsetX = 0;
    int m_offsetY = 0;
    bool m_showDisabledState = false;
    bool m_hasFocus = false;
    TiPropertyChangedHook m_propertyChangedHook;
    TiEditPermissionHook m_editPermissionHook;
    bool m_autoFrameRate = false;
    bool m_loadingProperties = false;
    bool m_layoutLoading = false;
    bool m_cachedDrawing = true;
    bool m_optionSaveAllProperties = false;
    bool m_userInput = false;
    bool m_errorActive = false;
    QString m_errorText = QStringLiteral("Error");
    TColor m_errorBackGroundColor = clBlack;
    TFont* m_errorFont = nullptr;
    TiBevelStyle m_borderStyle = ibsNone;
    bool m_showHint = false;
    QString m_hint;
    int m_tag = 0;
    bool m_tabStop = false;
    int m_tabOrder = 0;
    bool m_tabOrderPending = false;
    bool m_clicked = false;
    bool m_destroying = false;
};

// The one timer that flushes repaints a frame-rate limit deferred (1000 ms, GUI thread).
class TiUpdateObject : public QObject {
    Q_OBJECT
public:
    static TiUpdateObject& Instance();
    void Add(TiComponent* c);
    void Remove(TiComponent* c);
    bool TimerActive() const;
    static constexpr int IntervalMs = 1000;

public slots:
    void Flush();

private:
    TiUpdateObject();
    QList<TiComponent*> m_list;
    QTimer* m_timer;
};
