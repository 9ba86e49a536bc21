// SPDX-License-Identifier: MIT
#pragma once

#include <QtCore/qglobal.h>

#if defined(VANTOREL_ABSTRACT_LIBRARY)
#define VANTOREL_ABSTRACT_EXPORT Q_DECL_EXPORT
#else
#define VANTOREL_ABSTRACT_EXPORT Q_DECL_IMPORT
#endif
