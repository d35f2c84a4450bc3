#pragma once

#include <pulse/introspect.h>
#include <pulse/proplist.h>

#include "platform/linux/ServerState.h"

namespace tavuno {

// The server's replies as plain records. Null strings become empty ones; a
// property that is not text keeps its bytes up to the first NUL.
Proplist toProplist(const pa_proplist* properties);
ServerInfo toServerInfo(const pa_server_info& info);
ServerSink toSink(const pa_sink_info& info);
ServerSource toSource(const pa_source_info& info);
ServerStream toStream(const pa_sink_input_info& info);
ServerStream toStream(const pa_source_output_info& info);
ServerClient toClient(const pa_client_info& info);
ServerCard toCard(const pa_card_info& info);

}  // namespace tavuno
