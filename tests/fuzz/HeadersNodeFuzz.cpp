// Reads arbitrary bytes as a cache record, as a damaged cache would hand them over. Whatever
// yields a node must write a record that reads back to the very same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "HeadersNode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size > 12000)
		return 0;
	std::string bytes(reinterpret_cast<const char*>(data), size);
	bytes = bytes.substr(0, bytes.find('\0'));
	TString text;
	text.AllowInvalidSet(true);
	text.AssignByte(bytes.data(), static_cast<long>(bytes.size()));
	HeadersNodePtr node = HeadersNode::initWithMsgID(TString("<fuzz@example.org>"), text);
	if (!node)
		return 0;
	TString once, twice;
	node->stringWrite(once);
	HeadersNodePtr back = HeadersNode::initWithMsgID(node->fMsgID, once);
	if (!back)
		abort();
	back->stringWrite(twice);
	if (!(once == twice))
		abort();
	return 0;
}
