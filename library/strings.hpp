#pragma once
// Legible names from identifiers, and the failure type every named failure derives from.

#include <stdexcept>
#include <string>

// A named failure: the qualified name ("WORK.FILE_LIST.NO_ELEMENTS") plus a message.
// Message boxes show Information(), which holds both.
class Failure : public std::runtime_error {
public:
    Failure(std::string qualified_name, const std::string& message);
    const std::string& Name() const noexcept { return name_; }
    std::string Message() const { return what(); }
    std::string Information() const;

private:
    std::string name_;
};

// Declares a failure type with its qualified name inside the current namespace or class.
#define QUARRIX_FAILURE(Type, Qualified_Name) QUARRIX_FAILURE_OF(::Failure, Type, Qualified_Name)
// The same for a failure of a family its callers may also catch as one, by its base: a
// Failure that takes the qualified name and the message.
#define QUARRIX_FAILURE_OF(Base, Type, Qualified_Name)                          \
    struct Type : Base {                                                       \
        explicit Type(const std::string& message = "") : Base(Qualified_Name, message) {} \
    }

// The language-level failures the system also uses.
QUARRIX_FAILURE(Constraint_Error, "CONSTRAINT_ERROR");
QUARRIX_FAILURE(Program_Error, "PROGRAM_ERROR");
QUARRIX_FAILURE(Tasking_Error, "TASKING_ERROR");

// The information text of any exception: a Failure's own, or the type-less what() of others.
std::string Information_Of(const std::exception& error);

namespace Strings {

QUARRIX_FAILURE(Usage_Error, "STRINGS.USAGE_ERROR");

// "__FILE__NAME_" -> "File Name": underscores are spaces, runs collapse, words capitalised.
std::string Legible_Of(const std::string& identifier);

}  // namespace Strings
