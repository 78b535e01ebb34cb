"""The exception the lumetra package raises for failures of the library."""


class LumetraError(Exception):
    """A failure reported by the Lumetra library.

    Carries the library's error record at the moment of the failure:

    - ``code``: the recorded code (below 100 a system error number such as
      2 for a missing file; 100 and up the library's own codes, e.g. 102
      "Invalid file signature."), or -1 when nothing was recorded (an import
      stopped by the lumetra tool's own checks);
    - ``message``: the text of the code;
    - ``detail``: the detail text (often the file name or the reason);
    - ``context``: what the package was doing.
    """

    def __init__(self, text, code=-1, message="", detail="", context=""):
        super().__init__(text)
        self.code = code
        self.message = message
        self.detail = detail
        self.context = context
