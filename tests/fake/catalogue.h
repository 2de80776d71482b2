#pragma once

// What the fake resolver answers, chosen by track id. Tests name these
// instead of spelling out numbers.
namespace velmora::fake::tracks {

// Known tracks: a real songURL on the media port and a name.
inline constexpr int Demo = 169309;     // media/169309.mp3, "Velmora Demo"
inline constexpr int TwoDigit = 10;     // media/10.wav, "Two Digit"
inline constexpr int TestTone = 123456; // media/123456.wav, "Test Tone"

inline constexpr char DemoName[] = "Velmora Demo";
inline constexpr char TwoDigitName[] = "Two Digit";

// Any id outside this catalogue gets {"Rendata":{"tname":"not_find","songURL":""}};
// this one is guaranteed to stay outside it. A request whose signature does
// not hold gets {"Rendata":{"tname":"sign_error"}}, without a songURL member.
inline constexpr int Unknown = 555555;

// Edge answers around the client's decisions.
inline constexpr int FiveCharUrl = 900105;    // songURL "12345", tname "other"
inline constexpr int SixCharUrl = 900106;     // songURL "ab.mp3", tname "edge"
inline constexpr int UpperNotFind = 900107;   // songURL "", tname "NOT_FIND"
inline constexpr int NotFindWithUrl = 900108; // the Demo songURL, tname "not_find"
inline constexpr int NullName = 900109;       // songURL "", tname null

// Broken answers, all with an otherwise ordinary tname "x" where a Rendata exists.
inline constexpr int ServerError = 900500;   // 500, HTML body
inline constexpr int NotFoundPage = 900404;  // 404, HTML body
inline constexpr int EmptyBody = 900204;     // 200, empty body
inline constexpr int TruncatedJson = 900001; // {"Rendata":{"songURL":"htt
inline constexpr int NullRendata = 900002;   // {"Rendata":null}
inline constexpr int NoRendata = 900003;     // {"code":0}
inline constexpr int NullUrl = 900004;       // songURL null
inline constexpr int NumberUrl = 900005;     // songURL 1234567
inline constexpr int ObjectUrl = 900006;     // songURL {"url": <Demo songURL>}
inline constexpr int ArrayUrl = 900007;      // songURL [<Demo songURL>]

// One answer in three encodings, with no songURL and the track name
// EncodedName, which reads differently when taken in the wrong one.
inline constexpr char EncodedName[] = "Café";
inline constexpr int Utf8NoCharset = 900030;  // application/json, no charset: UTF-8
inline constexpr int Latin1Charset = 900031;  // text/plain; charset=ISO-8859-1
inline constexpr int UnknownCharset = 900032; // text/plain;charset=x-none, UTF-8 bytes

// Transport faults. Where a client that ignored the fault would still find a
// usable Demo answer, the fake makes sure it would, so such a client fails its
// tests instead of passing by luck.
inline constexpr int Stall = 900010;            // request read, never answered, kept open
inline constexpr int Trickle = 900011;          // Demo answer, body one byte per trickle interval
inline constexpr int Oversized = 900012;        // Demo answer padded past 4 MiB
inline constexpr int CutShort = 900013;         // Demo answer, Content-Length larger, then closed
inline constexpr int InsecureRedirect = 900014; // 302 to http on the media port, Demo answer there
inline constexpr int RedirectLoop = 900015;     // 302 to a signed request for itself, forever
inline constexpr int DeflateBomb = 900016; // small deflate body inflating past 4 MiB (Demo answer)
inline constexpr int Redirect = 900017;    // one https 302 to a signed Demo request

// Addresses no program should take from the service as they are. The local
// file is the committed media/tone.wav, so a client that opens it succeeds.
inline constexpr int FileUrl = 900020;     // songURL file://<tone.wav>, tname FileUrlName
inline constexpr int LocalPath = 900021;   // songURL <tone.wav> as a bare path, tname "Local Path"
inline constexpr int LongUrl = 900023;     // Demo songURL + "?pad=xx...", tname "Long"
inline constexpr int RelativeUrl = 900024; // songURL "media/169309.mp3", tname "Relative"
// The Demo songURL, with a name that holds markup and outgrows a status line.
inline constexpr int HtmlName = 900026; // tname HtmlNameText
inline constexpr char HtmlNameText[] =
    "<b>Velmora</b> <img src=\"x\"> &amp; a name far longer than the player's line";
// An http address of an M3U playlist that names the local tone file.
inline constexpr int LocalPlaylist = 900025; // songURL media/list.m3u, tname "Playlist"
inline constexpr int ControlChars = 900022;  // the Demo songURL + ControlTail, tname ControlName
inline constexpr char FileUrlName[] = "Local File";
// "\n", ESC]0;owned BEL (a title change), http://127.0.0.1:1/foreign.mp3,
// ESC[2J (clear screen), U+009B (C1 CSI), then "3pm.exe" between U+2066 (LRI)
// and U+2069 (PDI) after U+202E (RLO), which a terminal shows as "exe.mp3".
inline constexpr char16_t ControlTail[] =
    u"\n\x1b]0;owned\x07http://127.0.0.1:1/foreign.mp3\x1b[2J\u009b\u202e\u20663pm.exe\u2069";
inline constexpr char16_t ControlName[] = u"Bell\x07Name\x1b[31m";

// The Demo songURL + BidiQuery, tname BidiName: a right-to-left override
// (U+202E) in each makes the address end in what reads "3pm.png".
inline constexpr int BidiControls = 900027;
inline constexpr char16_t BidiQuery[] = u"?\u202egnp.mp3";
inline constexpr char16_t BidiName[] = u"Bidi \u202eevil.mp3\u202c mix";

// LongUrl's songURL in characters; the media port still serves the tone for it.
inline constexpr int LongUrlLength = 40000;

// Bodies the fake makes larger than this, before or after decompression.
inline constexpr long long BodyLimit = 4LL * 1024 * 1024;

// Audio to save, served from the resolver port as /save/<id>.mp3 (savedAudio()),
// tname "Save <id>", with ranges answered from an ETag and a Last-Modified
// unless said otherwise.
inline constexpr char SavedETag[] = "\"v1\"";
inline constexpr char SavedModified[] = "Sat, 05 Dec 2026 12:00:00 GMT";
inline constexpr int SaveWhole = 900040;     // the file
inline constexpr int SaveDrop = 900041;      // drops halfway the first whole file asked for
inline constexpr int SaveNoRanges = 900042;  // always the whole file with 200
inline constexpr int SaveExpiring = 900043;  // 401 until the track was resolved again
inline constexpr int SaveLonger = 900044;    // Content-Length 1000 over what is sent
inline constexpr int SaveRedirects = 900045; // three redirects, then the file
inline constexpr int SaveHtml = 900046;      // an HTML page
inline constexpr int SaveError = 900047;     // 500, every time
inline constexpr int SaveSlow = 900048;      // 1 KiB per trickle interval
inline constexpr int SaveModified = 900049;  // ranges from a Last-Modified alone
// Served as /save/<id>.bin, application/octet-stream, savedAudio() without its
// ID3 header: nothing tells the format.
inline constexpr int SaveUntyped = 900039;
// 410 Gone, every time.
inline constexpr int SaveGone = 900037;
// Every byte, chunked, without the last chunk: the transfer breaks at the
// end. A resume from there gets 416 with the file's size.
inline constexpr int SaveUnended = 900038;

// Audio to play whose signed address expires: each resolve gives
// media/expiring/<n>.wav (n counting the resolves), served until
// expireAddresses() and refused with 403 after.
inline constexpr int Expiring = 900050; // tname "Expiring"
// Audio served without byte ranges, a little ahead of playback.
inline constexpr int NoRanges = 900051; // media/noranges.wav, tname "No Ranges"
// Audio whose server says it takes byte ranges and answers every one with the
// whole file (200), at once: media/ignoresranges.wav, its content set with
// setAudio(), tname "Ignores Ranges".
inline constexpr int IgnoresRanges = 900052;

} // namespace velmora::fake::tracks
