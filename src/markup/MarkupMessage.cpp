#include "markup/MarkupMessage.h"

std::string FillMessage(const char* pattern, std::initializer_list<MessageArg> args)
{
    std::string message;
    auto arg = args.begin();
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (p[0] == '%' && (p[1] == 's' || p[1] == 'd') && arg != args.end()) {
            if (arg->isText) {
                message.append(arg->text);
            } else {
                message.append(std::to_string(arg->number));
            }
            ++arg;
            ++p;
        } else {
            message.push_back(*p);
        }
    }
    return message;
}
