/* Lumetra: the geometry class library (C++ only).
 *
 * Conventions
 *  - Coordinates are decimal degrees held as doubles, x the longitude and y
 *    the latitude.  The "spatial" integer forms are millionths of a degree
 *    (value / 1000000.0 in, ceil(value * 1000000.0 - 0.5) out).
 *  - Every distance is in feet by a flat-earth rule: 364320 feet
 *    (69 x 5280) per degree of latitude, longitude differences scaled by the
 *    cosine of a reference latitude.  Which point gives the reference
 *    latitude is stated with each operation.
 *  - Names: a point owns two heap copies (NULL until set); lines, polygons
 *    and their collections keep two inline 128-byte fields.  Either way at
 *    most 127 characters are kept, and setting a NULL or empty name changes
 *    nothing.  getName/getName2 never return NULL.
 *  - Point equality compares x, y and both names; it is used by segment,
 *    rectangle and line equality and by the closure and connection rules.
 *  - Geometry objects are values: copying copies everything they own.
 *    Nothing is shared between objects, so distinct objects may be used on
 *    distinct threads; one object is used by one thread at a time.  (The
 *    object-file wrappers at the end refer to open files: see there.)
 *  - Classes are laid out with 4-byte packing (sizes asserted below).
 *  - Nothing here throws.  Operations that must allocate report failure
 *    where their result allows (bool set/addLine/combine) and otherwise leave
 *    an empty or unchanged object.  Index arguments are not checked.
 */
#ifndef LUMETRA_GEOMETRY_H
#define LUMETRA_GEOMETRY_H

#ifndef LUMETRA_API
#  define LUMETRA_API __attribute__((visibility("default")))
#endif
#ifndef LUMETRA_STATIC_ASSERT
#  ifdef __cplusplus
#    define LUMETRA_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#  else
#    define LUMETRA_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#  endif
#endif
LUMETRA_STATIC_ASSERT(sizeof(void*) == 8 && sizeof(int) == 4, "Lumetra's public layouts are LP64");
#ifndef __cplusplus
#  error "lumetra/geometry.h is a C++ header"
#endif
#include <lumetra/pip.h>

#define GEO_FEET_PER_DEGREE  364320.0   /* 69 x 5280 */
#define GEO_NAME_SIZE        128        /* inline names of lines and polygons: 127 characters + NUL */
#define ZON_SHAPE_NONE       0          /* CZonShape types */
#define ZON_SHAPE_POINT      1          /* CPipPoint */
#define ZON_SHAPE_LINE       2          /* CPolyLine */
#define ZON_SHAPE_POLYGON    4          /* CPolyPolygon */
#define ZON_GET_NAME         1          /* CZonShape::get "what" codes */
#define ZON_GET_TYPE         2
#define ZON_GET_PART_COUNT   3
#define ZON_GET_POINT_COUNT  4
#define ZON_GET_NAME2        5
#define ZON_FIND_POINT       1          /* ZONObject::Find*PointOrLine kinds */
#define ZON_FIND_LINE        2
#define ZON_WRONG_TYPE     (-3)         /* wrong shape type or kind */

class CPipPoint;
class CSegment;
class CMbr;
class CLine;
class CPolygon;
class CPolyLine;
class CPolyPolygon;
class CSpatial;
class CZonShape;
class ZONPool;                          /* opaque: stored and returned by ZONObject only */

#pragma pack(push, 4)

/* Same layout as pipAttributeInfoStruct. */
typedef struct zglAttributeInfoStruct {
    char name[12];         /*   0 */
    char value[256];       /*  12 */
    int  width;            /* 268 */
    int  type;             /* 272 */
    int  decimals;         /* 276 */
} zglAttributeInfoStruct;                                    /* 280 */

/* Abstract base. Virtual slots in declaration order 0..11; the destructor is last
   (on the Itanium C++ ABI it fills the last two vtable entries). No data. */
class LUMETRA_API IGeometry {
public:
    IGeometry();
    IGeometry(const IGeometry& other);
    IGeometry& operator=(const IGeometry& other);

    virtual CPipPoint   getNearestPoint(const CSegment& segment) const = 0;  /* slot 0 */
    virtual double      minDistance(const IGeometry* other) const = 0;       /* slot 1, feet */
    virtual double      minDistance(const CPipPoint& point) const = 0;       /* slot 2 */
    virtual double      maxDistance(const IGeometry* other) const = 0;       /* slot 3 */
    virtual double      maxDistance(const CPipPoint& point) const = 0;       /* slot 4 */
    virtual int         getPointCount() const = 0;                           /* slot 5 */
    virtual int         getPartCount() const = 0;                            /* slot 6 */
    virtual const char* getName() const = 0;                                 /* slot 7, never NULL */
    virtual const char* getName2() const = 0;                                /* slot 8, never NULL */
    virtual void        setName(const char* name) = 0;                       /* slot 9: NULL or "" changes nothing */
    virtual void        setName2(const char* name) = 0;                      /* slot 10 */
    virtual ~IGeometry();                                                    /* slot 11 */
};

/* Point in degrees with two owned names. */
class LUMETRA_API CPipPoint : public IGeometry {
public:
    CPipPoint();                                        /* (0, 0), no names */
    CPipPoint(double x, double y);                      /* degrees */
    CPipPoint(int spatialX, int spatialY);              /* millionths of a degree */
    CPipPoint(const CPipPoint& other);                  /* copies names */
    CPipPoint& operator=(const CPipPoint& other);       /* copies names */
    ~CPipPoint() override;

    double getX() const;
    double getY() const;
    void   setX(double x);
    void   setY(double y);
    void   set(double x, double y);
    void   get(double& x, double& y) const;

    void   setSpatialX(int x);
    void   setSpatialY(int y);
    void   setSpatial(int x, int y);
    int    getSpatialX() const;                         /* ceil(v * 1e6 - 0.5) */
    int    getSpatialY() const;
    void   getSpatial(int& x, int& y) const;

    double distance(const CPipPoint& other) const;      /* feet, scale at this point's latitude */
    double distance(double x, double y) const;
    double manhattanDistance(const CPipPoint& other) const; /* feet, scale at the argument's latitude */
    double manhattanDistance(double x, double y) const;
    double slope(const CPipPoint& other) const;

    CPipPoint  operator/(double divisor) const;         /* unnamed */
    CPipPoint& operator+=(const CPipPoint& other);      /* names unchanged */
    bool operator==(const CPipPoint& other) const;      /* x, y and both names */
    bool operator!=(const CPipPoint& other) const;

    void reset();                                       /* x = y = 0; names kept */

    CPipPoint   getNearestPoint(const CSegment& segment) const override; /* a copy of this point */
    double      minDistance(const IGeometry* other) const override;      /* other->minDistance(*this) */
    double      minDistance(const CPipPoint& point) const override;      /* scale at point's latitude */
    double      maxDistance(const IGeometry* other) const override;      /* other->maxDistance(*this) */
    double      maxDistance(const CPipPoint& point) const override;      /* same as minDistance(point) */
    int         getPointCount() const override;                          /* 1 */
    int         getPartCount() const override;                           /* 1 */
    const char* getName() const override;                                /* "" when none */
    const char* getName2() const override;
    void        setName(const char* name) override;                      /* copies up to 127 characters */
    void        setName2(const char* name) override;

private:
    double m_x;            /*  8 (0 is the vtable pointer) */
    double m_y;            /* 16 */
    char*  m_name;         /* 24 */
    char*  m_name2;        /* 32 */
};                                                           /* 40 */

/* Two points; not polymorphic. */
class LUMETRA_API CSegment {
public:
    CSegment();                                         /* (0,0)-(0,0) */
    CSegment(const CPipPoint& start, const CPipPoint& end);
    CSegment(double x1, double y1, double x2, double y2);
    CSegment(const CSegment& other);
    CSegment(CSegment&& other);                         /* copies, like the copy constructor */
    CSegment& operator=(const CSegment& other);
    CSegment& operator=(CSegment&& other);
    ~CSegment();

    const CPipPoint& getStart() const;
    const CPipPoint& getEnd() const;
    void getPoints(CPipPoint& start, CPipPoint& end) const;

    void set(const CPipPoint& start, const CPipPoint& end); /* copies names */
    void set(double x1, double y1, double x2, double y2);   /* names untouched */
    void set(int x1, int y1, int x2, int y2);               /* spatial integers / 1e6; names untouched */
    void setStart(const CPipPoint& start);
    void setEnd(const CPipPoint& end);
    void reset();

    CPipPoint getMidpoint() const;
    double length() const;                              /* feet, scale at start's latitude */
    double slope() const;
    double deltaX() const;                              /* degrees */
    double deltaY() const;
    int    isHorizontal() const;                        /* 1 or 0 */
    int    isVertical() const;

    int overlap(const CSegment& other) const;           /* half-open range test, 1 or 0 */
    int intersect(const CSegment& other) const;
    int intersect(const CSegment& other, CPipPoint& point) const;
    int lineIntersection(const CSegment& other, CPipPoint& point) const;

    CPipPoint getNearestPoint(const CPipPoint& point) const;
    CPipPoint getNearestPoint(const CSegment& other) const;
    double minDistance(const CPipPoint& point) const;   /* feet */
    double maxDistance(const CPipPoint& point) const;
    double minDistance(const CSegment& other) const;
    double maxDistance(const CSegment& other) const;

    bool operator==(const CSegment& other) const;
    bool operator!=(const CSegment& other) const;

protected:
    double getR(const CPipPoint& point) const;          /* projection parameter */

private:
    friend class CLine;
    friend class CPolygon;
    friend class CPolyLine;
    friend class CPolyPolygon;
    CPipPoint m_start;     /*  0 */
    CPipPoint m_end;       /* 40 */
};                                                           /* 80 */

/* Bounding rectangle; virtual destructor only, not an IGeometry. */
class LUMETRA_API CMbr {
public:
    CMbr();                                             /* empty: (DBL_MAX, DBL_MAX)-(-DBL_MAX, -DBL_MAX) */
    CMbr(const CPipPoint& a, const CPipPoint& b);       /* names not copied */
    CMbr(double x1, double y1, double x2, double y2);
    CMbr(const CPipPoint& centre, double width, double height);
    CMbr(const CPipPoint& centre, int distance);        /* feet in each direction */
    CMbr(const CMbr& other);                            /* names copied */
    CMbr& operator=(const CMbr& other);
    virtual ~CMbr();

    void reset();
    void includePoint(const CPipPoint& point);
    void includeSegment(const CSegment& segment);
    void includeMbr(const CMbr& other);
    void includeLine(const CLine& line);
    void includePolygon(const CPolygon& polygon);
    void includePolyLine(const CPolyLine& polyLine);
    void includePolyPolygon(const CPolyPolygon& polyPolygon);
    void grow(double dx, double dy);
    void grow(double factor);

    bool   overlap(const CMbr& other) const;            /* half-open: shared edges do not overlap */
    int    isAbove(const CMbr& other) const;
    int    isBelow(const CMbr& other) const;
    int    isLeftOf(const CMbr& other) const;
    int    isRightOf(const CMbr& other) const;
    double minDistance(const CMbr& other) const;        /* feet */
    double maxDistance(const CMbr& other) const;

    const CPipPoint& getLowerLeft() const;
    const CPipPoint& getUpperRight() const;
    CSegment  getTop() const;
    CSegment  getBottom() const;
    CSegment  getLeft() const;
    CSegment  getRight() const;
    CPipPoint getCenter() const;
    double    getWidth() const;                         /* degrees */
    double    getHeight() const;

    bool operator==(const CMbr& other) const;
    bool operator!=(const CMbr& other) const;

private:
    CPipPoint m_lowerLeft;   /*  8 */
    CPipPoint m_upperRight;  /* 48 */
};                                                           /* 88 */

/* Open chain of segments. Layout: vtable pointer, array pointer, count, two names. */
class LUMETRA_API CLine : public IGeometry {
public:
    CLine();
    CLine(const CSegment* segments, int n);
    CLine(const CPipPoint* points, int n);              /* n - 1 segments */
    CLine(const double* x, const double* y, int n);     /* n - 1 segments */
    CLine(const CLine& other);                          /* segments and both names */
    CLine& operator=(const CLine& other);               /* segments and both names */
    ~CLine() override;

    void set(const CSegment* segments, int n);
    void set(const CPipPoint* points, int n);
    void set(const double* x, const double* y, int n);

    int             getCount() const;                   /* segments */
    CSegment&       getSegment(int i);
    const CSegment& getSegment(int i) const;
    CPipPoint       getPoint(int i) const;              /* 0..count */
    CPipPoint       getStart() const;
    CPipPoint       getEnd() const;
    void   get(int* xy) const;                          /* count + 1 spatial pairs */
    void   get(double* x, double* y, int max) const;    /* first min(max, count + 1) points */
    double length() const;                              /* feet */
    int    isConnected(const CLine& other) const;       /* 1 or 0 */
    int    connect(const CLine& other);                 /* 1 or 0 */
    void   reset();                                     /* names kept */

    bool operator==(const CLine& other) const;          /* segments only, names not compared */
    bool operator!=(const CLine& other) const;

    CPipPoint   getNearestPoint(const CSegment& segment) const override;
    double      minDistance(const IGeometry* other) const override;
    double      minDistance(const CPipPoint& point) const override;
    double      maxDistance(const IGeometry* other) const override;
    double      maxDistance(const CPipPoint& point) const override;
    int         getPointCount() const override;         /* count + 1 */
    int         getPartCount() const override;          /* 1 */
    const char* getName() const override;
    const char* getName2() const override;
    void        setName(const char* name) override;
    void        setName2(const char* name) override;

private:
    CSegment* m_segments;  /*  8 */
    int       m_count;     /* 16 */
    char      m_name[128]; /* 20 */
    char      m_name2[128];/* 148 */
};                                                           /* 276 */

/* Closed ring; derives from IGeometry, not from CLine. */
class LUMETRA_API CPolygon : public IGeometry {
public:
    CPolygon();
    CPolygon(const CSegment* segments, int n);
    CPolygon(const CPipPoint* points, int n);
    CPolygon(const int* xy, int n);                     /* n spatial pairs */
    CPolygon(const double* x, const double* y, int n);
    CPolygon(const CPolygon& other);                    /* segments; the copy's names start empty */
    CPolygon& operator=(const CPolygon& other);         /* segments and both names */
    ~CPolygon() override;

    bool set(const int* xy, int n);                     /* closure rule; false on allocation failure */
    bool set(const double* x, const double* y, int n);
    bool set(const CPipPoint* points, int n);
    bool set(const CSegment* segments, int n);

    int             getCount() const;                   /* segments = distinct vertices */
    CSegment&       getSegment(int i);
    const CSegment& getSegment(int i) const;
    CPipPoint       getPoint(int i) const;              /* 0..count; point count repeats point 0 */
    void      get(int* xy) const;                       /* count vertices, not closed */
    void      get(double* x, double* y, int max) const; /* first min(max, count + 1) points, closed */
    CPipPoint getCentroid() const;                      /* vertex mean, unnamed */
    bool      combine(const CPolygon& other);           /* union; true when it gives one ring */
    void      reset();

    bool operator==(const CPolygon& other) const;       /* segments only */
    bool operator!=(const CPolygon& other) const;

    CPipPoint   getNearestPoint(const CSegment& segment) const override;
    double      minDistance(const IGeometry* other) const override;
    double      minDistance(const CPipPoint& point) const override;
    double      maxDistance(const IGeometry* other) const override;
    double      maxDistance(const CPipPoint& point) const override;
    int         getPointCount() const override;         /* count + 1 */
    int         getPartCount() const override;          /* 1 */
    const char* getName() const override;
    const char* getName2() const override;
    void        setName(const char* name) override;
    void        setName2(const char* name) override;

private:
    CSegment* m_segments;
    int       m_count;
    char      m_name[128];
    char      m_name2[128];
};                                                           /* 276 */

/* Several lines. */
class LUMETRA_API CPolyLine : public IGeometry {
public:
    CPolyLine();
    CPolyLine(const CLine* lines, int n);
    CPolyLine(const int* xy, const int* partCounts, int nParts);
    CPolyLine(const double* x, const double* y, const int* partCounts, int nParts);
    CPolyLine(const CPolyLine& other);                  /* parts and names */
    CPolyLine& operator=(const CPolyLine& other);       /* parts and names */
    ~CPolyLine() override;

    bool set(const CLine* lines, int n);                /* every set/reset empties the names first */
    bool set(const int* xy, const int* partCounts, int nParts);
    bool set(const double* x, const double* y, const int* partCounts, int nParts);
    bool addLine(const CLine& line);
    CLine&       getLine(int i);
    const CLine& getLine(int i) const;
    int  getCount() const;                              /* parts */
    void connectLines();
    void get(int* xy, int* partCounts) const;           /* each line's count + 1 points */
    bool get(double* x, double* y, int* partCounts, int* nParts, int maxPoints, int maxParts) const;
    void reset();

    bool operator==(const CPolyLine& other) const;      /* parts and names */
    bool operator!=(const CPolyLine& other) const;

    CPipPoint   getNearestPoint(const CSegment& segment) const override;
    double      minDistance(const IGeometry* other) const override;
    double      minDistance(const CPipPoint& point) const override;
    double      maxDistance(const IGeometry* other) const override;
    double      maxDistance(const CPipPoint& point) const override;
    int         getPointCount() const override;         /* sum over parts */
    int         getPartCount() const override;          /* count */
    const char* getName() const override;
    const char* getName2() const override;
    void        setName(const char* name) override;
    void        setName2(const char* name) override;

private:
    CLine* m_lines;
    int    m_count;
    char   m_name[128];
    char   m_name2[128];
};                                                           /* 276 */

/* Several rings; no ring is marked as a hole. */
class LUMETRA_API CPolyPolygon : public IGeometry {
public:
    CPolyPolygon();
    CPolyPolygon(const CPolygon* polygons, int n);
    CPolyPolygon(const int* xy, const int* partCounts, int nParts);
    CPolyPolygon(const double* x, const double* y, const int* partCounts, int nParts);
    CPolyPolygon(const CPolyPolygon& other);            /* rings and names */
    CPolyPolygon& operator=(const CPolyPolygon& other); /* rings; keeps the target's names */
    ~CPolyPolygon() override;

    bool set(const CPolygon* polygons, int n);
    bool set(const int* xy, const int* partCounts, int nParts);
    bool set(const double* x, const double* y, const int* partCounts, int nParts);
    void addPolygon(const CPolygon& polygon);
    CPolygon&       getPolygon(int i);
    const CPolygon& getPolygon(int i) const;
    void get(int* xy, int* partCounts) const;           /* n vertices per ring, partCounts[i] = n */
    bool get(double* x, double* y, int* partCounts, int* nParts, int maxPoints, int maxParts) const; /* n + 1 per ring */
    void reset();

    bool operator==(const CPolyPolygon& other) const;
    bool operator!=(const CPolyPolygon& other) const;

    CPipPoint   getNearestPoint(const CSegment& segment) const override;
    double      minDistance(const IGeometry* other) const override;
    double      minDistance(const CPipPoint& point) const override;
    double      maxDistance(const IGeometry* other) const override;
    double      maxDistance(const CPipPoint& point) const override;
    int         getPointCount() const override;
    int         getPartCount() const override;          /* ring count */
    const char* getName() const override;
    const char* getName2() const override;
    void        setName(const char* name) override;
    void        setName2(const char* name) override;

private:
    CPolygon* m_polygons;
    int       m_count;
    char      m_name[128];
    char      m_name2[128];
};                                                           /* 276 */

/* ---- Object-file wrappers ----
 * CSpatial searches one object file through the pip* functions and hands the
 * hits out as geometry objects: coordinates divided by 1000000.0 (query points
 * go in rounded as CPipPoint::getSpatialX does), the object's first and second
 * names as the geometry's name and name2.  Unlike the value classes above,
 * a CSpatial refers to an open file handle: copies share it, and only
 * closeFile (or ZONObject) closes it.  One CSpatial serves one thread at a
 * time, as the handle behind it does.  Nothing here throws.
 *
 * Usage:
 *     CSpatial spatial(library);
 *     if (spatial.openFile("states.lmb", PIP_OPEN_CACHE_5MB) == 1) {
 *         CPolyPolygon state;
 *         if (spatial.findPolygon(CPipPoint(-87.6298, 41.8781), state) == 1)
 *             puts(state.getName());
 *         spatial.closeFile();
 *     }
 */

/* Growable arrays with a cursor. */
class LUMETRA_API CDoubleCollection {
public:
    CDoubleCollection();                                /* capacity 25 */
    explicit CDoubleCollection(int capacity);
    CDoubleCollection(const CDoubleCollection& other);
    CDoubleCollection& operator=(const CDoubleCollection& other);
    virtual ~CDoubleCollection();

    int  add(double item);                              /* 1; 0 when it cannot grow */
    int  moveFirst();                                   /* cursor 0; 1 */
    int  moveNext();                                    /* 1 while the cursor is below the count */
    int  getCurrent(double& item) const;                /* 1 and the item under the cursor; else 0 */
    void reset();                                       /* count and cursor 0 */
    int  getCount() const;

private:
    double* m_items;
    int     m_count;
    int     m_capacity;
    int     m_cursor;
};                                                           /* 28 */

class LUMETRA_API CLongCollection {
public:
    CLongCollection();
    explicit CLongCollection(int capacity);
    CLongCollection(const CLongCollection& other);
    CLongCollection& operator=(const CLongCollection& other);
    virtual ~CLongCollection();

    int  add(int item);
    int  moveFirst();
    int  moveNext();
    int  getCurrent(int& item) const;
    void reset();
    int  getCount() const;

private:
    int* m_items;
    int  m_count;
    int  m_capacity;
    int  m_cursor;
};                                                           /* 28 */

/* Owns one geometry. Not copyable. */
class LUMETRA_API CZonShape {
public:
    CZonShape();                                        /* no geometry, type 0 */
    CZonShape(const CZonShape&) = delete;
    CZonShape& operator=(const CZonShape&) = delete;
    virtual ~CZonShape();                               /* deletes the geometry */

    IGeometry* getGeometry() const;
    void setGeometry(IGeometry* geometry);              /* deletes the previous one, takes ownership */
    int  getType() const;                               /* ZON_SHAPE_* */
    void setType(int type);
    int  get(int what, int* value) const;               /* ZON_GET_TYPE/PART_COUNT/POINT_COUNT: 1; else 0 */
    int  get(int what, char* buffer, int size) const;   /* ZON_GET_NAME/NAME2: 1; else 0 */

private:
    IGeometry* m_geometry;   /*  8 */
    int        m_type;       /* 16 */
};                                                           /* 20 */

/* One object file searched in geometry terms. Copies share the file handles;
   the destructor frees buffers and queues but does not close the file (closeFile does). */
class LUMETRA_API CSpatial {
public:
    CSpatial();
    explicit CSpatial(long libraryHandle);
    CSpatial(const CSpatial& other);
    CSpatial& operator=(const CSpatial& other);
    virtual ~CSpatial();

    int setPipHandle(long libraryHandle);               /* 1 when non-zero */
    int usePipObjectHandle(long objectFileHandle);      /* adopts an open file (never closed here) */
    int getPipObjectFile() const;
    int openFile(const char* name, int mode);           /* 1; 0 */
    int isValidFile();                                  /* 1; 0 after closing a mixed file */
    int closeFile();                                    /* 1 */

    int findPolygon(const CPipPoint& point, CPolyPolygon& result);
    int findPolygon(const char* name, CPolyPolygon& result);
    int findPolygon(const CPolyPolygon& polygon, CPolyPolygon& result);
    int findNextPolygon(CPolyPolygon& result);
    int findPolygon(const CPolyPolygon& polygon, CPolyPolygon& result, double& percent); /* 5 found; 0; -1 */
    int findNextPolygon(CPolyPolygon& result, double& percent);                         /* 5; -1 at the end */
    int findNearestPoint(const CPipPoint& point, CPipPoint& result, int distance);      /* 1; 0; -1 */
    int findNextPoint(CPipPoint& result);                                               /* 1; 0 at the end */
    int findNearestLine(const CPipPoint& point, CPolyLine& result, int distance);       /* 1; 0; -1 */
    int findNextLine(CPolyLine& result);                                                /* 1; 0 at the end */
    int findPointByMbr(const CMbr& mbr, CPipPoint& result);
    int findLineByMbr(const CMbr& mbr, CPolyLine& result);
    int findPolygonByMbr(const CMbr& mbr, CPolyPolygon& result);
    int findNextPointByMbr(CPipPoint& result);
    int findNextLineByMbr(CPolyLine& result);
    int findNextPolygonByMbr(CPolyPolygon& result);

    int getAttributeCount(int* count);
    int getAttributeInfoByNumber(int fieldNumber, zglAttributeInfoStruct* info);
    int getAttributeInfoByName(const char* fieldName, zglAttributeInfoStruct* info);
    int getAttributeNameByNumber(int fieldNumber, char* name, int nameLength);
    int isCorrectObjectType(int type) const;            /* 1 */

protected:
    int getPoint(int low, int high, CPipPoint& result);
    int getLine(int low, int high, CPolyLine& result);
    int getPolygon(int low, int high, CPolyPolygon& result);

private:                                                /* order of ; size not part of the contract */
    int                     m_libraryHandle;
    int                     m_fileHandle;
    pipObjectFileInfoStruct m_info;
    int                     m_external;
    CLongCollection         m_lineLow, m_lineHigh;
    CLongCollection         m_pointLow, m_pointHigh;
    CLongCollection         m_overlapLow, m_overlapHigh;
    CDoubleCollection       m_overlapPercent;
    int                     m_current;
    int*                    m_coords;
    int*                    m_partCounts;
};

/* A CSpatial with open/close bookkeeping. Not copyable; no virtual functions. */
class LUMETRA_API ZONObject {
public:
    ZONObject(long libraryHandle, const char* fileName, int mode, int version, ZONPool* pool);
    ZONObject(const ZONObject&) = delete;
    ZONObject& operator=(const ZONObject&) = delete;
    ~ZONObject();                                       /* closes and deletes the CSpatial */

    bool IsValid() const;
    bool IsOpen() const;
    bool Open(const char* fileName, int mode);
    int  Close();                                       /* 1 */
    bool IsFileValidForZgl();
    void     SetParentPool(ZONPool* pool);
    ZONPool* GetParentPool() const;
    void CheckOut();
    void CheckIn();
    bool IsCheckedOut() const;
    void SetVersion(int version);
    int  GetVersion() const;
    bool HasBeenSearched() const;

    /* Forwarders to the pip* function of the same name on the file handle. */
    int HandleFileQuery(pipObjectFileInfoStruct* info);
    int HandleFileQueryEx(pipObjectFileExtraInfoStruct* info);
    int GetAttributeCount(int* count);
    int GetAttributeInfoByNumber(int fieldNumber, pipAttributeInfoStruct* info);
    int GetAttributeInfoByName(const char* fieldName, pipAttributeInfoStruct* info);
    int FindFirstContaining(int x, int y, int radius, char* name, int nameLength);
    int FindFirstContainingEx(int x, int y, int maxDistance, char* name, int nameLength);
    int FindNext(char* name, int nameLength);
    int FindFirstNearest(int x, int y, int count, char* name, int nameLength);
    int FindFirstNearestEx(int x, int y, int count, const char* criteria, char* name, int nameLength);
    int SetSearchDistance(int feet);
    int GetInfo(pipObjectInfoStruct* info);
    int GetHandle(int* low, int* high);                 /* pipObjectGetHandle64 */
    int FileGoto(int low, int high);                    /* pipObjectFileGoto64 */
    int DistanceToBorder(int x, int y);
    int ValidateFilterCriteria(const char* criteria);

    int FindNearestPointOrLine(const CZonShape* point, CZonShape** result, int kind, int distance); /* 1; 0; -1 NULL; -3 */
    int FindNextPointOrLine(CZonShape** result, int kind);                                          /* 1; 0; -3 */
    int FindPolygonOverlapPercentage(const CZonShape* polygon, CZonShape** result, double* percent); /* 1; 0; -1 NULL; -3 */
    int FindNextPolygonOverlapPercentage(CZonShape** result, double* percent);                       /* 1; 0 */

private:
    CSpatial* m_spatial;
    ZONPool*  m_pool;
    int       m_checkedOut;
    int       m_version;
    int       m_searched;
};

#pragma pack(pop)

LUMETRA_STATIC_ASSERT(sizeof(zglAttributeInfoStruct) == 280, "zglAttributeInfoStruct");
LUMETRA_STATIC_ASSERT(offsetof(zglAttributeInfoStruct, name) == 0, "name");
LUMETRA_STATIC_ASSERT(offsetof(zglAttributeInfoStruct, value) == 12, "value");
LUMETRA_STATIC_ASSERT(offsetof(zglAttributeInfoStruct, width) == 268, "width");
LUMETRA_STATIC_ASSERT(offsetof(zglAttributeInfoStruct, type) == 272, "type");
LUMETRA_STATIC_ASSERT(offsetof(zglAttributeInfoStruct, decimals) == 276, "decimals");
LUMETRA_STATIC_ASSERT(sizeof(CPipPoint) == 40, "CPipPoint: vptr, x, y, name, name2");
LUMETRA_STATIC_ASSERT(sizeof(CSegment) == 80, "CSegment: start, end");
LUMETRA_STATIC_ASSERT(sizeof(CMbr) == 88, "CMbr: vptr, lower-left, upper-right");
LUMETRA_STATIC_ASSERT(sizeof(CLine) == 276, "CLine: vptr, array, count, 2 x 128-byte names, no gap");
LUMETRA_STATIC_ASSERT(sizeof(CPolygon) == 276, "CPolygon");
LUMETRA_STATIC_ASSERT(sizeof(CPolyLine) == 276, "CPolyLine");
LUMETRA_STATIC_ASSERT(sizeof(CPolyPolygon) == 276, "CPolyPolygon");
LUMETRA_STATIC_ASSERT(sizeof(CDoubleCollection) == 28, "CDoubleCollection");
LUMETRA_STATIC_ASSERT(sizeof(CLongCollection) == 28, "CLongCollection");
LUMETRA_STATIC_ASSERT(sizeof(CZonShape) == 20, "CZonShape");

extern "C" {
/* factories: release results with delete (or hand them to CZonShape::setGeometry). NULL when out of memory. */
LUMETRA_API CZonShape*    makeZonShape(void);
LUMETRA_API CPipPoint*    makePipPoint(void);
LUMETRA_API CPipPoint*    makePipPointXY(double x, double y);
LUMETRA_API CPolyLine*    makePolyLine(void);
LUMETRA_API CPolyLine*    makePolyLineXY(const double* x, const double* y, const int* partCounts, int nParts);
LUMETRA_API CPolyPolygon* makePolyPolygon(void);
LUMETRA_API CSpatial*     makeSpatial(void);
LUMETRA_API int zonShapeFree(CZonShape** shape);                                        /* 1; *shape = NULL */
LUMETRA_API int zonShapeGetStr(const CZonShape* shape, int what, char* buffer, int size); /* 1; 0; -1 NULL or size < 1 */
LUMETRA_API int zonDistance(const CZonShape* a, const CZonShape* b, int* feet);          /* 1; -3 not two points */
LUMETRA_API int zonManhattanDistance(const CZonShape* a, const CZonShape* b, int* feet); /* 1; -3 */
LUMETRA_API int zonNearDistance(const CZonShape* a, const CZonShape* b, int* feet);      /* 1; -1 (*feet 0) */
LUMETRA_API int zonFarDistance(const CZonShape* a, const CZonShape* b, int* feet);       /* 1; -1 (*feet 0) */
}

#endif /* LUMETRA_GEOMETRY_H */
