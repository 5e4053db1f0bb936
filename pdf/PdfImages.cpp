#include "PdfImages.h"
