#include "platform/foundation/uuid.h"

#include <uuid/uuid.h>

std::string uuid_random_text() {
    uuid_t id;
    uuid_generate_random(id);
    char text[37];
    uuid_unparse_upper(id, text);
    return std::string(text, 36);
}
