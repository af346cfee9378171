/* Declarations shared by the extension's own C++ sources. */
#ifndef VELTA_BINDING_H
#define VELTA_BINDING_H

#include "vlm.h"
#include "vlp.h"

#endif
