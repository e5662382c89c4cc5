// Resource ids and types, shared by the resource script and the C++ code (the resource
// compiler reads only preprocessor definitions, hence macros).
#pragma once

#define PRODUCT_ICON_ID 100
#define WINDOW_CLASS_STRING_ID 109
#define TEXT_TABLE_TYPE 1000
#define TEXT_TABLE_ID 1001
#define EXTRACTOR_TYPE 2000
#define EXTRACTOR_ID 2001
#define IMAGE_TYPE 3000
#define LOGO_IMAGE_ID 3002
#define SIGNING_KEY_TYPE 4000
#define SIGNING_KEY_ID 4001
