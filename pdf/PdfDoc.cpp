#include "PdfDoc.h"
