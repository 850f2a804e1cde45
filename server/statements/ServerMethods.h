#pragma once
// The three server methods a client calls; each admits its own kind of
// statement: OpenSQL a query, ExecSQL an insertion or update, DelSQL a deletion.

namespace appserver {

enum class Method { OpenSQL, ExecSQL, DelSQL };

const char *methodName(Method method);

} // namespace appserver
