#pragma once
// TiCustomComponent: the class every instrument widget of the panel derives from.

#include "iVCLComponent.h"

class TiCustomComponent : public TiVCLComponent {
    Q_OBJECT
public:
    explicit TiCustomComponent(QWidget* parent = nullptr) : TiVCLComponent(parent) {}
};
