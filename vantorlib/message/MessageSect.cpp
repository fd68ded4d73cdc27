#include "MessageSect.h"

#include <vector>

#include "DiskFile.h"
#include "HeaderAttr.h"
#include "HeaderUtil.h"
#include "PathMngr.h"
#include "TextFile.h"

namespace {

const char* const kTypeNames[] = {"text", "html", "attachment"};
const char* const kEncNames[] = {"plain", "quot-print", "base64", "uuencode", "yenc"};

// A text of ASCII decimal digits as a number; -1 when it is not one.
long decimalField(const TString& text)
{
	if (text.Empty() || text.ByteLength() > 9)
		return -1;
	long v = 0;
	for (long i = 0; i < text.ByteLength(); ++i) {
		if (!Str::IsDigit(text.ByteAt(i)))
			return -1;
		v = v * 10 + (text.ByteAt(i) - '0');
	}
	return v;
}

}  // namespace

const char* MessageSect::typeToString(MsgSectType type)
{
	return (type >= MsgSectText && type <= MsgSectAttachment) ? kTypeNames[type - 1] : kTypeNames[0];
}

MsgSectType MessageSect::typeFromString(const TString& name)
{
	for (int i = 0; i < 3; ++i)
		if (name.CompareNoCase(kTypeNames[i]) == 0)
			return MsgSectType(i + 1);
	return MsgSectTypeNone;
}

const char* MessageSect::encToString(MsgSectEncoding encoding)
{
	return (encoding >= MsgSectPlain && encoding <= MsgSectYenc) ? kEncNames[encoding - 1] : kEncNames[0];
}

MsgSectEncoding MessageSect::encFromString(const TString& name)
{
	for (int i = 0; i < 5; ++i)
		if (name.CompareNoCase(kEncNames[i]) == 0)
			return MsgSectEncoding(i + 1);
	return MsgSectEncNone;
}

bool MessageSect::typeEncValid(MsgSectType type, MsgSectEncoding encoding)
{
	if (encoding < MsgSectPlain || encoding > MsgSectYenc)
		return false;
	if (type == MsgSectText || type == MsgSectHtml)
		return encoding <= MsgSectBase64;
	return type == MsgSectAttachment;
}

void MessageSect::FilenameSet(const TString& name)
{
	TString leaf(name);
	if (!leaf.Empty())
		PathMngr::LeafFixup(leaf);
	mFilename = std::move(leaf);
}

void MessageSect::MimeSet(const TString& mime)
{
	mMime = mime;
	mMime.Trim();
}

bool MessageSect::Valid() const
{
	if (!typeEncValid(mType, mEncoding) || mOffset < 10 || mPartNumber > mPartTotal)
		return false;
	if (mType != MsgSectAttachment)
		return mFilename.Empty() && mMime.Empty() && mPartNumber == 0 && mPartTotal == 0;
	if (mPartNumber < 1 || mPartTotal < 1)
		return false;
	return mFilename.Empty() ? mPartNumber >= 2 : mPartNumber == 1;
}

bool MessageSect::comp(const MessageSect& a, const MessageSect& b)
{
	if (a.mOffset != b.mOffset)
		return a.mOffset < b.mOffset;
	if (a.mType != b.mType)
		return a.mType < b.mType;
	if (a.mEncoding != b.mEncoding)
		return a.mEncoding < b.mEncoding;
	if (int c = a.mFilename.Compare(b.mFilename))
		return c < 0;
	if (int c = a.mMime.Compare(b.mMime))
		return c < 0;
	if (a.mPartNumber != b.mPartNumber)
		return a.mPartNumber < b.mPartNumber;
	return a.mPartTotal < b.mPartTotal;
}

bool MessageSect::operator==(const MessageSect& o) const
{
	return mType == o.mType && mEncoding == o.mEncoding && mFilename == o.mFilename && mMime == o.mMime &&
		mOffset == o.mOffset && mPartNumber == o.mPartNumber && mPartTotal == o.mPartTotal;
}

bool MessageSect::LineParse(const TString& value)
{
	Clear();
	std::vector<TString> fields;
	const char* s = value.String();
	long n = value.ByteLength(), start = 0;
	for (long i = 0; i <= n; ++i) {
		if (i < n && s[i] != '\t')
			continue;
		TString f = value.SubstringByte(start, i - start);
		f.Trim();
		start = i + 1;
		if (!f.Empty())
			fields.push_back(f);
	}
	if (fields.size() < 3 || fields.size() > 6) {
		Clear();
		return false;
	}
	const TString& off = fields[0];
	long long offset = 0;
	if (off.ByteLength() > 8) {
		Clear();
		return false;
	}
	for (long i = 0; i < off.ByteLength(); ++i) {
		char c = off.ByteAt(i);
		if (!Str::IsHexDigit(c)) {
			Clear();
			return false;
		}
		offset = offset * 16 + (Str::IsDigit(c) ? c - '0' : Str::ToLower(c) - 'a' + 10);
	}
	if (offset < 1 || offset > 0x7FFFFFFF) {
		Clear();
		return false;
	}
	mOffset = int32_t(offset);
	mType = typeFromString(fields[1]);
	mEncoding = encFromString(fields[2]);
	if (fields.size() > 3) {
		const TString& parts = fields[3];
		const char* slash = parts.FindPtr('/');
		long a = -1, b = -1;
		if (slash) {
			long at = long(slash - parts.String());
			a = decimalField(parts.SubstringByte(0, at));
			b = decimalField(parts.SubstringByte(at + 1, parts.ByteLength() - at - 1));
		}
		if (a < 0 || b < 0) {
			Clear();
			return false;
		}
		mPartNumber = int32_t(a);
		mPartTotal = int32_t(b);
	}
	// A later part has no file name, so a lone field after the part numbers is its type.
	if (fields.size() == 5 && mPartNumber >= 2 && HeaderUtil::mimeValid(fields[4])) {
		MimeSet(fields[4]);
	} else {
		if (fields.size() > 4) {
			TString name;
			HeaderUtil::Decode(name, fields[4]);
			FilenameSet(name);
		}
		if (fields.size() > 5)
			MimeSet(fields[5]);
	}
	if (!Valid()) {
		Clear();
		return false;
	}
	return true;
}

void MessageSect::lineFormatValue(TString& value) const
{
	TString out;
	out.CharsetSet(kCharsetUTF8);
	// A MIME part header read from an article may hold any bytes; the value is a byte string.
	out.AllowInvalidSet(true);
	out.Fmt("%08lX \t%s \t%s", (unsigned long)(uint32_t)mOffset, typeToString(mType), encToString(mEncoding));
	if (mPartNumber >= 1 && mPartTotal >= 1) {
		TString parts;
		parts.Fmt(" \t%ld/%ld", (long)mPartNumber, (long)mPartTotal);
		out += parts;
	}
	if (!mFilename.Empty()) {
		// Only the file name is encoded, so that the tabs between the fields always stay.
		TString name;
		HeaderUtil::Encode(name, mFilename, kCharsetUTF8);
		out += " \t";
		out.AppendByte(name.String(), name.ByteLength());
	}
	if (!mMime.Empty()) {
		out += " \t";
		out.AppendByte(mMime.String(), mMime.ByteLength());
	}
	value.CharsetSet(kCharsetISO8859_1);
	value = "";
	value.AppendByte(out.String(), out.ByteLength());
}

void MessageSect::lineFormatHead(TString& line) const
{
	TString value;
	lineFormatValue(value);
	HeaderUtil::Create(line, TString("X-Quillfern-Section"), value);
}

bool MessageSect::HeaderData(const HeaderAttr& message, const HeaderAttr& partHead, long offset)
{
	Clear();
	ContentType type = partHead.ContentTypeGet();
	TString name, mime;
	partHead.AttrAttachmentName(name);
	partHead.AttrMimeType(mime);
	mEncoding = partHead.ContentEncodingSect();
	mOffset = int32_t(offset);
	if (type == ContentTypePlain || type == ContentTypeHtml) {
		if (!name.Empty()) {
			mType = MsgSectAttachment;
			FilenameSet(name);
			MimeSet(mime);
			PartSet(1, 1);
		} else {
			mType = type == ContentTypePlain ? MsgSectText : MsgSectHtml;
		}
	} else if (type == ContentTypeOther) {
		mType = MsgSectAttachment;
		FilenameSet(name);
		MimeSet(mime);
		if (message.ContentTypeGet() == ContentTypePartial) {
			TString id;
			long number = 0, total = 0;
			if (!message.AttrPartialData(id, number, total)) {
				Clear();
				return false;
			}
			PartSet(int32_t(number), int32_t(total));
		} else {
			PartSet(1, 1);
		}
	} else {
		Clear();
		return false;
	}
	if (!Valid()) {
		Clear();
		return false;
	}
	return true;
}

bool MessageSect::HeaderDataPartial(const HeaderAttr& message, long offset)
{
	Clear();
	TString id;
	long number = 0, total = 0;
	if (message.ContentTypeGet() != ContentTypePartial || !message.AttrPartialData(id, number, total) ||
		number <= 1)
		return false;
	mType = MsgSectAttachment;
	mEncoding = MsgSectBase64;
	mOffset = int32_t(offset);
	PartSet(int32_t(number), int32_t(total));
	if (!Valid()) {
		Clear();
		return false;
	}
	return true;
}

Error MessageSect::ListWrite(TextFile& file, const std::vector<MessageSect>& sections)
{
	Error err = ErrOkay;
	for (const MessageSect& s : sections) {
		TString line;
		s.lineFormatHead(line);
		if (err == ErrOkay)
			err = file.Write(line);
	}
	return err;
}

Error MessageSect::ListUpdate(const TString& path, std::vector<MessageSect>& sections, long long shift)
{
	for (const MessageSect& s : sections) {
		long long moved = s.mOffset + shift;
		if (moved < 10 || moved > 0x7FFFFFFF)
			return ErrFileInvalidData;
	}
	for (MessageSect& s : sections)
		s.mOffset = int32_t(s.mOffset + shift);
	// Where the old lines are, from the top of the file.
	std::vector<std::pair<long long, long>> places;
	TextFile in;
	Error err = in.Open(path, TextFile::ModeRead, DiskFile::kLockWaitDefault);
	while (err == ErrOkay) {
		long long at = 0;
		TString line;
		err = in.PositionGet(&at);
		if (err == ErrOkay)
			err = in.Read(line);
		if (err != ErrOkay || line.IsWhite())
			break;
		TString name, value;
		if (HeaderUtil::Parse(line, name, value) && name.CompareNoCase("X-Quillfern-Section") == 0)
			places.emplace_back(at, line.ByteLength());
	}
	if (err == ErrFileEnd)
		err = ErrOkay;
	Error e = in.IsOpen() ? in.Close() : ErrOkay;
	if (err == ErrOkay)
		err = e;
	if (err == ErrOkay && places.size() != sections.size())
		err = ErrFileInvalidData;
	std::vector<TString> lines(sections.size());
	for (size_t i = 0; err == ErrOkay && i < sections.size(); ++i) {
		sections[i].lineFormatHead(lines[i]);
		if (lines[i].ByteLength() != places[i].second)
			err = ErrFileInvalidData;
	}
	if (err != ErrOkay || sections.empty())
		return err;
	DiskFile out;
	err = out.Open(path, FileAccessReadWrite, DiskFile::kLockWaitDefault);
	for (size_t i = 0; err == ErrOkay && i < sections.size(); ++i) {
		unsigned long long done = 0;
		err = out.WriteRange(
			places[i].first, lines[i].String(), (unsigned long long)lines[i].ByteLength(), &done);
	}
	e = out.IsOpen() ? out.Close() : ErrOkay;
	return err != ErrOkay ? err : e;
}
