#include "ODBCUtils.h"

int main(int argc, char** argv) { return ODBCUtils::Accept(argc, const_cast<const char**>(argv)); }
