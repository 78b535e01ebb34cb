// lumetra._lumetra: the Python extension.  It converts between NumPy arrays
// and the binding's C++ layer (ObjectFile, the import command) and turns
// LibraryError into lumetra.errors.LumetraError.  Every call that searches
// or reads a file releases the GIL; the pure-Python package (lumetra/) builds
// the public interface on top.
#include <lumetra/pip.h>
#include <lumetra/pip_ext.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <stdexcept>

#include "import_command.h"
#include "library_error.h"
#include "object_file.h"

namespace py = pybind11;

namespace lumetra_py {
namespace {

// Coordinates as the batch reads them; keeps the converted arrays alive.
struct Coordinates {
  py::array lon;
  py::array lat;
  PointBatch batch;
};

// Converts lon and lat to C-ordered arrays of T (kept in `c`) and points
// *x and *y at their data.
template <typename T>
void Borrow(const py::array& lon, const py::array& lat, Coordinates* c, const T** x, const T** y) {
  using Array = py::array_t<T, py::array::c_style | py::array::forcecast>;
  Array xs = Array::ensure(lon);
  Array ys = Array::ensure(lat);
  if (!xs || !ys) throw py::error_already_set();
  *x = xs.data();
  *y = ys.data();
  c->lon = xs;
  c->lat = ys;
}

Coordinates MakeCoordinates(const ObjectFile& file, const py::array& lon, const py::array& lat,
                            bool degrees) {
  Coordinates c;
  if (degrees) {
    Borrow(lon, lat, &c, &c.batch.lon, &c.batch.lat);
  } else {
    Borrow(lon, lat, &c, &c.batch.x, &c.batch.y);
  }
  if (c.lon.ndim() != 1 || c.lat.ndim() != 1 || c.lon.size() != c.lat.size()) {
    throw std::invalid_argument("lon and lat must be one-dimensional arrays of one length");
  }
  c.batch.size = static_cast<std::size_t>(c.lon.size());
  c.batch.geographic = file.geographic();
  return c;
}

template <typename T>
py::array_t<T> ToArray(std::vector<T>&& values) {
  py::array_t<T> out(static_cast<py::ssize_t>(values.size()));
  if (!values.empty()) std::memcpy(out.mutable_data(), values.data(), values.size() * sizeof(T));
  return out;
}

py::dict InfoDict(ObjectFile& file) {
  FileInfo info;
  {
    py::gil_scoped_release release;
    info = file.Info();
  }
  const pipObjectFileInfoStruct& h = info.header;
  py::dict d;
  d["signature"] = py::bytes(h.header, strnlen(h.header, sizeof h.header));
  d["max_record_size"] = h.maxRecordSize;
  d["max_points"] = h.maxPoints;
  d["max_parts"] = h.maxParts;
  d["bbox"] = py::make_tuple(h.minX, h.minY, h.maxX, h.maxY);
  d["coord_type"] = h.coordType;
  d["flags"] = h.flags;
  d["points"] = h.numPointObjects;
  d["lines"] = h.numLineObjects;
  d["regions"] = h.numRegionObjects;
  d["tax"] = info.tax;
  d["search_distance"] = info.search_distance;
  if (info.has_extension) {
    const pipObjectFileExtraInfoStruct& e = info.extension;
    d["source"] = py::bytes(e.text1, strnlen(e.text1, sizeof e.text1));
    d["format"] = py::bytes(e.text2, strnlen(e.text2, sizeof e.text2));
    d["created"] = py::bytes(e.creationTime, strnlen(e.creationTime, sizeof e.creationTime));
    d["code"] = e.code;
  }
  return d;
}

py::dict ObjectDict(ObjectFile& file, std::uint64_t position, bool coordinates) {
  ObjectData data;
  {
    py::gil_scoped_release release;
    data = file.ObjectAt(position, coordinates);
  }
  const pipObjectInfoStruct& info = data.object.info;
  py::dict d;
  d["position"] = data.object.position;
  d["name"] = py::bytes(info.name, strnlen(info.name, sizeof info.name));
  d["name2"] = py::bytes(info.name2, strnlen(info.name2, sizeof info.name2));
  d["type"] = info.type;
  d["id"] = info.id;
  d["ordinal"] = info.penColor;
  d["label"] = py::make_tuple(info.x, info.y);
  d["bbox"] = py::make_tuple(info.minX, info.minY, info.maxX, info.maxY);
  py::list parts;
  std::size_t first = 0;
  for (const std::int32_t count : data.part_counts) {
    py::array_t<std::int32_t> part({static_cast<py::ssize_t>(count), py::ssize_t{2}});
    std::memcpy(part.mutable_data(), data.points.data() + 2 * first,
                2 * static_cast<std::size_t>(count) * sizeof(std::int32_t));
    parts.append(part);
    first += static_cast<std::size_t>(count);
  }
  d["parts"] = parts;
  py::list values;
  for (const std::string& v : data.values) values.append(py::bytes(v));
  d["values"] = data.has_attributes ? py::object(values) : py::object(py::none());
  return d;
}

py::tuple AttributeTuple(ObjectFile& file) {
  AttributeTable table;
  {
    py::gil_scoped_release release;
    table = file.Attributes();
  }
  py::list names;
  for (const std::string& name : table.names) names.append(py::bytes(name));
  py::list columns;
  for (const auto& column : table.columns) {
    py::list values;
    for (const std::string& v : column) values.append(py::bytes(v));
    columns.append(values);
  }
  py::array_t<bool> has_record(static_cast<py::ssize_t>(table.has_record.size()));
  for (std::size_t i = 0; i < table.has_record.size(); ++i) {
    has_record.mutable_at(static_cast<py::ssize_t>(i)) = table.has_record[i];
  }
  return py::make_tuple(ToArray(std::move(table.ordinals)), names, has_record, columns);
}

py::array_t<std::int32_t> Lookup(ObjectFile& file, const py::array& lon, const py::array& lat,
                                 bool degrees, int radius, int threads) {
  const Coordinates c = MakeCoordinates(file, lon, lat, degrees);
  py::array_t<std::int32_t> out(static_cast<py::ssize_t>(c.batch.size));
  std::int32_t* ordinals = out.mutable_data();
  py::gil_scoped_release release;
  file.Lookup(c.batch, radius, threads, ordinals);
  return out;
}

py::tuple LookupAll(ObjectFile& file, const py::array& lon, const py::array& lat, bool degrees,
                    int radius, int threads) {
  const Coordinates c = MakeCoordinates(file, lon, lat, degrees);
  Hits hits;
  {
    py::gil_scoped_release release;
    hits = file.LookupAll(c.batch, radius, threads);
  }
  return py::make_tuple(ToArray(std::move(hits.offsets)), ToArray(std::move(hits.ordinals)),
                        ToArray(std::move(hits.results)));
}

py::tuple Nearest(ObjectFile& file, const py::array& lon, const py::array& lat, bool degrees, int k,
                  int threads) {
  if (k < 1 || k > PIP_MAX_NEAREST_COUNT) {
    throw std::invalid_argument("k must be between 1 and " + std::to_string(PIP_MAX_NEAREST_COUNT));
  }
  const Coordinates c = MakeCoordinates(file, lon, lat, degrees);
  const auto n = static_cast<py::ssize_t>(c.batch.size);
  py::array_t<std::int32_t> ordinals({n, py::ssize_t{k}});
  py::array_t<double> distances({n, py::ssize_t{k}});
  std::int32_t* o = ordinals.mutable_data();
  double* d = distances.mutable_data();
  {
    py::gil_scoped_release release;
    file.Nearest(c.batch, k, threads, o, d);
  }
  return py::make_tuple(ordinals, distances);
}

py::tuple BorderDistance(ObjectFile& file, const py::array& lon, const py::array& lat, bool degrees,
                         int max_distance, int threads) {
  const Coordinates c = MakeCoordinates(file, lon, lat, degrees);
  const auto n = static_cast<py::ssize_t>(c.batch.size);
  py::array_t<double> distances(n);
  py::array_t<std::int32_t> ordinals(n);
  py::array_t<bool> inside(n);
  double* d = distances.mutable_data();
  std::int32_t* o = ordinals.mutable_data();
  auto* in = reinterpret_cast<std::uint8_t*>(inside.mutable_data());
  {
    py::gil_scoped_release release;
    file.BorderDistance(c.batch, max_distance, threads, d, o, in);
  }
  return py::make_tuple(distances, ordinals, inside);
}

void TranslateLibraryError(std::exception_ptr p) {
  try {
    if (p) std::rethrow_exception(p);
  } catch (const LibraryError& e) {
    py::object cls = py::module_::import("lumetra.errors").attr("LumetraError");
    py::object error = cls(e.what(), e.code(), e.message(), e.detail(), e.context());
    PyErr_SetObject(cls.ptr(), error.ptr());
  }
}

}  // namespace
}  // namespace lumetra_py

PYBIND11_MODULE(_lumetra, m) {
  using namespace lumetra_py;
  m.doc() = "Lumetra's C interface for Python; use the lumetra package.";
  py::register_exception_translator(&TranslateLibraryError);
#ifdef PIP_OPEN_MAPPED
  m.attr("OPEN_MAPPED") = PIP_OPEN_MAPPED;
#else
  m.attr("OPEN_MAPPED") = 0;
#endif
  m.attr("MAX_NEAREST") = PIP_MAX_NEAREST_COUNT;
  m.attr("EXACT_NEAREST") = ExactNearestAvailable();
  m.def("version", [] {
    char text[PIP_VERSION_BUFFER_SIZE] = {0};
    pipGetVersion(text);
    return std::string(text);
  });
  m.def("import_command", [](const std::vector<std::string>& args) {
    py::gil_scoped_release release;
    RunImportCommand(args);
  });
  py::class_<ObjectFile>(m, "ObjectFile")
      .def(py::init([](const std::string& path, int mode) {
             py::gil_scoped_release release;
             return std::make_unique<ObjectFile>(path, mode);
           }),
           py::arg("path"), py::arg("mode"))
      .def("close", &ObjectFile::Close, py::call_guard<py::gil_scoped_release>())
      .def_property_readonly("closed", &ObjectFile::closed)
      .def_property_readonly("path", &ObjectFile::path)
      .def_property_readonly("geographic", &ObjectFile::geographic)
      .def("info", &InfoDict)
      .def("fields",
           [](ObjectFile& f) {
             py::list out;
             for (const AttributeField& a : f.Fields()) {
               out.append(
                   py::make_tuple(py::bytes(a.name), std::string(1, a.type), a.width, a.decimals));
             }
             return out;
           })
      .def("positions",
           [](ObjectFile& f) {
             std::vector<std::uint64_t> positions;
             {
               py::gil_scoped_release release;
               positions = f.Positions();
             }
             return ToArray(std::move(positions));
           })
      .def("object_at", &ObjectDict, py::arg("position"), py::arg("coordinates"))
      .def("attribute_table", &AttributeTuple)
      .def("set_search_distance", &ObjectFile::SetSearchDistance,
           py::call_guard<py::gil_scoped_release>())
      .def("lookup", &Lookup)
      .def("lookup_all", &LookupAll)
      .def("nearest", &Nearest)
      .def("border_distance", &BorderDistance);
}
