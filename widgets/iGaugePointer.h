#pragma once
// TiGaugePointer: one marker on a gauge's scale; TiGaugePointerManager keeps a gauge's pointers in
// insertion order, owns them and tells the gauge about every change through four hooks.

#include "iComponent.h"

#include <QList>
#include <QObject>
#include <QRegion>

#include <functional>

class TiGaugePointerManager;

class TiGaugePointer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(int Size READ Size WRITE SetSize)
    Q_PROPERTY(int Margin READ Margin WRITE SetMargin)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)
    Q_PROPERTY(uint DisabledColor READ DisabledColor WRITE SetDisabledColor)
    Q_PROPERTY(int Style READ Style WRITE SetStyle)
    Q_PROPERTY(bool Style3D READ Style3D WRITE SetStyle3D)
    Q_PROPERTY(double Position READ Position WRITE SetPosition)
    Q_PROPERTY(bool DrawScaleSide READ DrawScaleSide WRITE SetDrawScaleSide)
    Q_PROPERTY(bool UserCanMove READ UserCanMove WRITE SetUserCanMove)
    Q_PROPERTY(bool UseDisabledColor READ UseDisabledColor WRITE SetUseDisabledColor)

public:
    // With a manager the pointer joins its list (inserted hook, then changed hook); without one it
    // stands alone (the gauge's min and max pointers).
    explicit TiGaugePointer(TiGaugePointerManager* Manager = nullptr);
    // Leaves the manager's list (removed hook, then changed hook).
    ~TiGaugePointer() override;

    bool Visible() const { return m_visible; }
    void SetVisible(bool v) { Set(m_visible, v); }
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool v) { Set(m_enabled, v); }
    int Size() const { return m_size; }
    void SetSize(int v) { Set(m_size, v); }
    int Margin() const { return m_margin; }
    void SetMargin(int v) { Set(m_margin, v); }
    TColor Color() const { return m_color; }
    void SetColor(TColor v) { Set(m_color, v); }
    TColor DisabledColor() const { return m_disabledColor; }
    void SetDisabledColor(TColor v) { Set(m_disabledColor, v); }
    int Style() const { return m_style; }
    void SetStyle(int v) { Set(m_style, v); }
    bool Style3D() const { return m_style3D; }
    void SetStyle3D(bool v) { Set(m_style3D, v); }
    double Position() const { return m_position; }
    void SetPosition(double v);
    bool DrawScaleSide() const { return m_drawScaleSide; }
    void SetDrawScaleSide(bool v) { Set(m_drawScaleSide, v); }
    bool UserCanMove() const { return m_userCanMove; }
    void SetUserCanMove(bool v) { Set(m_userCanMove, v); }
    bool UseDisabledColor() const { return m_useDisabledColor; }
    void SetUseDisabledColor(bool v) { Set(m_useDisabledColor, v); }

    // Stores a position read from the layout: no hooks, no clamping.
    void StorePositionRaw(double v) { m_position = v; }

    // The colour the pointer is drawn in.
    TColor DrawColor() const { return (!m_enabled && m_useDisabledColor) ? m_disabledColor : m_color; }

    // Unpublished state: keyboard target, mouse held on it, the shape last drawn (for hit tests).
    bool Selected() const { return m_selected; }
    void SetSelected(bool v) { m_selected = v; }
    bool Pressed() const { return m_pressed; }
    void SetPressed(bool v) { m_pressed = v; }
    const QRegion& Region() const { return m_region; }
    void SetRegion(const QRegion& r) { m_region = r; }
    // The drawn shape's bounding rectangle (for the focus rectangle).
    QRect Bounds() const { return m_region.boundingRect(); }
    TiGaugePointerManager* Manager() const { return m_manager; }

private:
    friend class TiGaugePointerManager;
    template <typename T> void Set(T& field, const T& v) {
        if (field == v)
            return;
        field = v;
        NotifyChanged();
    }
    void NotifyChanged();

    bool m_visible = true;
    bool m_enabled = true;
    int m_size = 10;
    int m_margin = 0;
    TColor m_color = RGBValue(0, 0, 255);
    TColor m_disabledColor = clGray;
    int m_style = 3;
    bool m_style3D = false;
    double m_position = 0;
    bool m_drawScaleSide = false;
    bool m_userCanMove = false;
    bool m_useDisabledColor = false;

    bool m_selected = false;
    bool m_pressed = false;
    QRegion m_region;
    TiGaugePointerManager* m_manager = nullptr;
};

class TiGaugePointerManager {
public:
    using Hook = std::function<void(TiGaugePointer*)>;

    // PositionChanged may be empty; the other three must be given (EiError otherwise).
    TiGaugePointerManager(Hook PositionChanged, Hook Changed, Hook Inserted, Hook Removed);
    // Frees the pointers without calling the hooks: the owner is going away.
    ~TiGaugePointerManager();
    TiGaugePointerManager(const TiGaugePointerManager&) = delete;
    TiGaugePointerManager& operator=(const TiGaugePointerManager&) = delete;

    int Count() const { return int(m_items.size()); }
    TiGaugePointer* Item(int Index) const; // EiError for a bad index
    int IndexOf(const TiGaugePointer* Pointer) const;
    TiGaugePointer* Add();
    void Clear();
    void DeselectAll();

    // The pointers as the layout streams them ("Pointers"): one item per pointer with the published
    // properties that differ from a new pointer's (Style always), e.g.
    // "<item Style = 0 end item Style = 1; Size = 12 end>".
    QString ToText() const;
    // Replaces the list by the items of such a text; a malformed text throws EiError and changes nothing.
    void FromText(const QString& Text);

private:
    friend class TiGaugePointer;

    Hook m_positionChanged;
    Hook m_changed;
    Hook m_inserted;
    Hook m_removed;
    QList<TiGaugePointer*> m_items;
    bool m_silent = false;
};
