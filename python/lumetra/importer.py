"""Building object files from MIF/MID, BNA, shapefile and TAB sources."""

import os

from . import _lumetra

SOURCE_EXTENSIONS = (".mif", ".bna", ".shp", ".tab")


def attribute_file_name(path):
    """The attribute file an object file is read with: its name with a final
    'b' or 'B' replaced by 'a' (``x.lmb`` -> ``x.lma``); None otherwise."""
    path = os.fspath(path)
    if path[-1:] not in ("b", "B"):
        return None
    return path[:-1] + "a"


def import_file(src, dst, *, name_field=None, name2_field=None, name_pos=None,
                segments=False, compress=False, planar=False, max_points=None,
                max_parts=None, attributes=True, keep_going=False, overwrite=False):
    """Builds the object file ``dst`` from ``src`` -- what ``lumetra import``
    builds, by the same code: the object file and, for MIF/MID, shapefile and
    TAB sources, its attribute file (``dst`` with its final 'b' replaced by
    'a': name object files ``*.lmb``).  Returns ``dst``.

    The format comes from the extension of ``src`` (.mif with its .mid, .bna,
    .shp with its .shx and .dbf, .tab).  Options, as the tool's:

    - ``name_field``/``name2_field``: columns naming the objects (default: a
      column called NAME, else the first text column); ``name_pos``: BNA
      header field of the name (1 to 3);
    - ``segments``: store segment records (lookups with a radius need them);
      ``compress``: compress the coordinate columns;
    - ``planar``: coordinates are plain units, not degrees;
    - ``max_points``/``max_parts``: limits of one object;
    - ``attributes=False``: no attribute file; ``keep_going``: leave out
      shapefile or TAB records the importer refuses instead of failing.

    An existing ``dst`` raises FileExistsError unless ``overwrite``; then it
    and its attribute file are replaced together once both are complete.
    Failures raise LumetraError (or ValueError for an unknown column) and
    leave ``dst`` as it was.
    """
    src, dst = os.fspath(src), os.fspath(dst)
    if os.path.splitext(src)[1].lower() not in SOURCE_EXTENSIONS:
        raise ValueError(f"cannot tell the format of {src!r}: expected one of "
                         + ", ".join(SOURCE_EXTENSIONS))
    if not os.path.exists(src):
        raise FileNotFoundError(src)
    if os.path.exists(dst) and not overwrite:
        raise FileExistsError(f"{dst} exists (overwrite=True replaces it)")
    args = [src, dst, "--quiet"]
    for option, value in (("--name-field", name_field), ("--name2-field", name2_field),
                          ("--name-pos", name_pos), ("--max-points", max_points),
                          ("--max-parts", max_parts)):
        if value is not None:
            args += [option, str(value)]
    for option, wanted in (("--segments", segments), ("--compress", compress),
                           ("--planar", planar), ("--no-attributes", not attributes),
                           ("--keep-going", keep_going), ("--overwrite", overwrite)):
        if wanted:
            args.append(option)
    _lumetra.import_command(args)
    return dst
