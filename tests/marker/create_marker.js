// Creates the marker object by the ProgID given as the first argument, the
// way a page's script does, and calls a method it does not have.
// Exit status: 0 created, and the call refused with error 438 ("Object
// doesn't support this property or method"); 10 not created; 11 not an
// object; 12 the call failed otherwise; 13 the call went through.
var marker;
try {
    marker = new ActiveXObject(WScript.Arguments(0));
} catch (e) {
    WScript.Quit(10);
}
if (typeof marker != "object")
    WScript.Quit(11);
try {
    marker.Play();
} catch (e) {
    WScript.Quit((e.number & 0xFFFF) == 438 ? 0 : 12);
}
WScript.Quit(13);
