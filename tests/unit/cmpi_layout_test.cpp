// ABI checks for the CMPI 2.0 headers in include/cmpi.
//
// A provider built against these headers is loaded by CMPI 2.0 brokers such
// as sfcb, so every size, member offset, slot signature and constant must
// match the CMPI 2.0 ABI on Linux x86_64.  The expected values below are that
// layout written out by hand: they must never be computed from the headers
// under test.

#include <cmpi/cmpift.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <type_traits>

namespace {

struct Row {
    const char *what;
    long long actual;
    long long expected;
};

void expectRows(std::initializer_list<Row> rows) {
    for (const Row &r : rows) {
        EXPECT_EQ(r.actual, r.expected) << r.what;
    }
}

Row row(const char *what, long long actual, long long expected) {
    return Row{what, actual, expected};
}

#define SZ(T, n) row("sizeof " #T, sizeof(T), n)
#define MSZ(T, m, n) row("sizeof " #T "::" #m, sizeof(T::m), n)
#define AT(T, m, off) row(#T "::" #m, offsetof(T, m), off)
#define VAL(c, v) row(#c, c, v)

// ---------------------------------------------------------------------------
// Basic types and value containers
// ---------------------------------------------------------------------------

TEST(CmpiLayout, BasicTypesHaveExactCTypes) {
    // Exact types matter, not just sizes: they decide how arguments and
    // return values travel in registers.
    EXPECT_TRUE((std::is_same<CMPIBoolean, unsigned char>::value));
    EXPECT_TRUE((std::is_same<CMPIChar16, unsigned short>::value));
    EXPECT_TRUE((std::is_same<CMPIUint8, unsigned char>::value));
    EXPECT_TRUE((std::is_same<CMPISint8, signed char>::value));
    EXPECT_TRUE((std::is_same<CMPIUint16, unsigned short>::value));
    EXPECT_TRUE((std::is_same<CMPISint16, short>::value));
    EXPECT_TRUE((std::is_same<CMPIUint32, unsigned int>::value));
    EXPECT_TRUE((std::is_same<CMPISint32, int>::value));
    EXPECT_TRUE((std::is_same<CMPIUint64, unsigned long long>::value));
    EXPECT_TRUE((std::is_same<CMPISint64, long long>::value));
    EXPECT_TRUE((std::is_same<CMPIReal32, float>::value));
    EXPECT_TRUE((std::is_same<CMPIReal64, double>::value));
    EXPECT_TRUE((std::is_same<CMPICount, unsigned int>::value));
    EXPECT_TRUE((std::is_same<CMPIType, unsigned short>::value));
    EXPECT_TRUE((std::is_same<CMPIValueState, unsigned short>::value));
    EXPECT_TRUE((std::is_same<CMPIFlags, unsigned int>::value));
    EXPECT_TRUE((std::is_same<CMPIMsgFileHandle, void *>::value));
    EXPECT_TRUE((std::is_same<CMPIAccessor, CMPIData(const char *, void *)>::value));
    expectRows({SZ(CMPIrc, 4), SZ(CMPIPredOp, 4), SZ(CMPISeverity, 4), SZ(CMPILevel, 4),
                SZ(CMPISelectCondType, 4), SZ(CMPIErrorType, 4), SZ(CMPIErrorSeverity, 4),
                SZ(CMPIErrorProbableCause, 4), SZ(CMPIErrorSrcFormat, 4)});
}

TEST(CmpiLayout, ValueDataAndStatus) {
    // CMPIValue is 16 bytes because of dataPtr; at 8 bytes CMPIData would
    // shrink to 16 and be returned in registers instead of memory.
    expectRows(
        {SZ(CMPIValuePtr, 16),       AT(CMPIValuePtr, ptr, 0),    AT(CMPIValuePtr, length, 8),
         SZ(CMPIValue, 16),          MSZ(CMPIValue, dataPtr, 16), MSZ(CMPIValue, uint64, 8),
         MSZ(CMPIValue, boolean, 1), MSZ(CMPIValue, char16, 2),   MSZ(CMPIValue, real32, 4),
         MSZ(CMPIValue, Enum, 8),    MSZ(CMPIValue, chars, 8),    SZ(CMPIData, 24),
         AT(CMPIData, type, 0),      MSZ(CMPIData, type, 2),      AT(CMPIData, state, 2),
         MSZ(CMPIData, state, 2),    AT(CMPIData, value, 8),      SZ(CMPIStatus, 16),
         AT(CMPIStatus, rc, 0),      MSZ(CMPIStatus, rc, 4),      AT(CMPIStatus, msg, 8)});
    // Brace initialisation must clear the widest scalar member.
    CMPIValue v = {0};
    EXPECT_EQ(v.uint64, 0u);
}

// ---------------------------------------------------------------------------
// Objects: { hdl, ft } everywhere, the broker handle has four tables
// ---------------------------------------------------------------------------

// Encapsulated and MI objects: 16 bytes, hdl then ft.
#define OBJ(T) SZ(T, 16), AT(T, hdl, 0), AT(T, ft, 8)

TEST(CmpiLayout, ObjectsAreHandleThenTable) {
    expectRows({SZ(CMPIBroker, 40),      AT(CMPIBroker, hdl, 0),  AT(CMPIBroker, bft, 8),
                AT(CMPIBroker, eft, 16), AT(CMPIBroker, xft, 24), AT(CMPIBroker, mft, 32),
                OBJ(CMPIContext),        OBJ(CMPIResult),         OBJ(CMPIString),
                OBJ(CMPIArray),          OBJ(CMPIArgs),           OBJ(CMPIObjectPath),
                OBJ(CMPIInstance),       OBJ(CMPIEnumeration),    OBJ(CMPIDateTime),
                OBJ(CMPISelectExp),      OBJ(CMPISelectCond),     OBJ(CMPISubCond),
                OBJ(CMPIPredicate),      OBJ(CMPIError),          OBJ(CMPIInstanceMI),
                OBJ(CMPIAssociationMI),  OBJ(CMPIMethodMI),       OBJ(CMPIPropertyMI),
                OBJ(CMPIIndicationMI)});
    EXPECT_TRUE((std::is_same<decltype(CMPIInstanceMI::hdl), const void *>::value));
}

// ---------------------------------------------------------------------------
// Broker function tables
// ---------------------------------------------------------------------------

TEST(CmpiLayout, BrokerServicesTable) {
    // No ftVersion: two unsigned ints, then the name and the services.
    expectRows({SZ(CMPIBrokerFT, 160),
                AT(CMPIBrokerFT, brokerCapabilities, 0),
                MSZ(CMPIBrokerFT, brokerCapabilities, 4),
                AT(CMPIBrokerFT, brokerVersion, 4),
                AT(CMPIBrokerFT, brokerName, 8),
                AT(CMPIBrokerFT, prepareAttachThread, 16),
                AT(CMPIBrokerFT, attachThread, 24),
                AT(CMPIBrokerFT, detachThread, 32),
                AT(CMPIBrokerFT, deliverIndication, 40),
                AT(CMPIBrokerFT, enumerateInstanceNames, 48),
                AT(CMPIBrokerFT, getInstance, 56),
                AT(CMPIBrokerFT, createInstance, 64),
                AT(CMPIBrokerFT, modifyInstance, 72),
                AT(CMPIBrokerFT, deleteInstance, 80),
                AT(CMPIBrokerFT, execQuery, 88),
                AT(CMPIBrokerFT, enumerateInstances, 96),
                AT(CMPIBrokerFT, associators, 104),
                AT(CMPIBrokerFT, associatorNames, 112),
                AT(CMPIBrokerFT, references, 120),
                AT(CMPIBrokerFT, referenceNames, 128),
                AT(CMPIBrokerFT, invokeMethod, 136),
                AT(CMPIBrokerFT, setProperty, 144),
                AT(CMPIBrokerFT, getProperty, 152)});
}

TEST(CmpiLayout, BrokerEncapsulatedTypeTable) {
    expectRows({SZ(CMPIBrokerEncFT, 168),
                AT(CMPIBrokerEncFT, ftVersion, 0),
                AT(CMPIBrokerEncFT, newInstance, 8),
                AT(CMPIBrokerEncFT, newObjectPath, 16),
                AT(CMPIBrokerEncFT, newArgs, 24),
                AT(CMPIBrokerEncFT, newString, 32),
                AT(CMPIBrokerEncFT, newArray, 40),
                AT(CMPIBrokerEncFT, newDateTime, 48),
                AT(CMPIBrokerEncFT, newDateTimeFromBinary, 56),
                AT(CMPIBrokerEncFT, newDateTimeFromChars, 64),
                AT(CMPIBrokerEncFT, newSelectExp, 72),
                AT(CMPIBrokerEncFT, classPathIsA, 80),
                AT(CMPIBrokerEncFT, toString, 88),
                AT(CMPIBrokerEncFT, isOfType, 96),
                AT(CMPIBrokerEncFT, getType, 104),
                AT(CMPIBrokerEncFT, getMessage, 112),
                AT(CMPIBrokerEncFT, logMessage, 120),
                AT(CMPIBrokerEncFT, trace, 128),
                AT(CMPIBrokerEncFT, newCMPIError, 136),
                AT(CMPIBrokerEncFT, openMessageFile, 144),
                AT(CMPIBrokerEncFT, closeMessageFile, 152),
                AT(CMPIBrokerEncFT, getMessage2, 160)});
}

TEST(CmpiLayout, BrokerExtendedAndMemoryTables) {
    expectRows({SZ(CMPIBrokerExtFT, 168),
                AT(CMPIBrokerExtFT, ftVersion, 0),
                AT(CMPIBrokerExtFT, resolveFileName, 8),
                AT(CMPIBrokerExtFT, newThread, 16),
                AT(CMPIBrokerExtFT, joinThread, 24),
                AT(CMPIBrokerExtFT, exitThread, 32),
                AT(CMPIBrokerExtFT, cancelThread, 40),
                AT(CMPIBrokerExtFT, threadSleep, 48),
                AT(CMPIBrokerExtFT, threadOnce, 56),
                AT(CMPIBrokerExtFT, createThreadKey, 64),
                AT(CMPIBrokerExtFT, destroyThreadKey, 72),
                AT(CMPIBrokerExtFT, getThreadSpecific, 80),
                AT(CMPIBrokerExtFT, setThreadSpecific, 88),
                AT(CMPIBrokerExtFT, newMutex, 96),
                AT(CMPIBrokerExtFT, destroyMutex, 104),
                AT(CMPIBrokerExtFT, lockMutex, 112),
                AT(CMPIBrokerExtFT, unlockMutex, 120),
                AT(CMPIBrokerExtFT, newCondition, 128),
                AT(CMPIBrokerExtFT, destroyCondition, 136),
                AT(CMPIBrokerExtFT, condWait, 144),
                AT(CMPIBrokerExtFT, timedCondWait, 152),
                AT(CMPIBrokerExtFT, signalCondition, 160),

                SZ(CMPIBrokerMemFT, 120),
                AT(CMPIBrokerMemFT, ftVersion, 0),
                AT(CMPIBrokerMemFT, mark, 8),
                AT(CMPIBrokerMemFT, release, 16),
                AT(CMPIBrokerMemFT, cmpiMalloc, 24),
                AT(CMPIBrokerMemFT, cmpiCalloc, 32),
                AT(CMPIBrokerMemFT, cmpiRealloc, 40),
                AT(CMPIBrokerMemFT, cmpiStrDup, 48),
                AT(CMPIBrokerMemFT, cmpiFree, 56),
                AT(CMPIBrokerMemFT, freeInstance, 64),
                AT(CMPIBrokerMemFT, freeObjectPath, 72),
                AT(CMPIBrokerMemFT, freeArgs, 80),
                AT(CMPIBrokerMemFT, freeString, 88),
                AT(CMPIBrokerMemFT, freeArray, 96),
                AT(CMPIBrokerMemFT, freeDateTime, 104),
                AT(CMPIBrokerMemFT, freeSelectExp, 112)});
}

// ---------------------------------------------------------------------------
// Encapsulated-type function tables
// ---------------------------------------------------------------------------

// Every encapsulated-type table starts with ftVersion, release and clone.
#define FT_HEAD(T) AT(T, ftVersion, 0), AT(T, release, 8), AT(T, clone, 16)

TEST(CmpiLayout, ContextResultStringArrayArgsTables) {
    expectRows({SZ(CMPIContextFT, 56),
                FT_HEAD(CMPIContextFT),
                AT(CMPIContextFT, getEntry, 24),
                AT(CMPIContextFT, getEntryAt, 32),
                AT(CMPIContextFT, getEntryCount, 40),
                AT(CMPIContextFT, addEntry, 48),

                SZ(CMPIResultFT, 64),
                FT_HEAD(CMPIResultFT),
                AT(CMPIResultFT, returnData, 24),
                AT(CMPIResultFT, returnInstance, 32),
                AT(CMPIResultFT, returnObjectPath, 40),
                AT(CMPIResultFT, returnDone, 48),
                AT(CMPIResultFT, returnError, 56),

                SZ(CMPIStringFT, 32),
                FT_HEAD(CMPIStringFT),
                AT(CMPIStringFT, getCharPtr, 24),

                SZ(CMPIArrayFT, 56),
                FT_HEAD(CMPIArrayFT),
                AT(CMPIArrayFT, getSize, 24),
                AT(CMPIArrayFT, getSimpleType, 32),
                AT(CMPIArrayFT, getElementAt, 40),
                AT(CMPIArrayFT, setElementAt, 48),

                SZ(CMPIArgsFT, 56),
                FT_HEAD(CMPIArgsFT),
                AT(CMPIArgsFT, addArg, 24),
                AT(CMPIArgsFT, getArg, 32),
                AT(CMPIArgsFT, getArgAt, 40),
                AT(CMPIArgsFT, getArgCount, 48)});
}

TEST(CmpiLayout, ObjectPathInstanceEnumerationDateTimeTables) {
    expectRows({SZ(CMPIObjectPathFT, 160),
                FT_HEAD(CMPIObjectPathFT),
                AT(CMPIObjectPathFT, setNameSpace, 24),
                AT(CMPIObjectPathFT, getNameSpace, 32),
                AT(CMPIObjectPathFT, setHostname, 40),
                AT(CMPIObjectPathFT, getHostname, 48),
                AT(CMPIObjectPathFT, setClassName, 56),
                AT(CMPIObjectPathFT, getClassName, 64),
                AT(CMPIObjectPathFT, addKey, 72),
                AT(CMPIObjectPathFT, getKey, 80),
                AT(CMPIObjectPathFT, getKeyAt, 88),
                AT(CMPIObjectPathFT, getKeyCount, 96),
                AT(CMPIObjectPathFT, setNameSpaceFromObjectPath, 104),
                AT(CMPIObjectPathFT, setHostAndNameSpaceFromObjectPath, 112),
                AT(CMPIObjectPathFT, getClassQualifier, 120),
                AT(CMPIObjectPathFT, getPropertyQualifier, 128),
                AT(CMPIObjectPathFT, getMethodQualifier, 136),
                AT(CMPIObjectPathFT, getParameterQualifier, 144),
                AT(CMPIObjectPathFT, toString, 152),

                SZ(CMPIInstanceFT, 88),
                FT_HEAD(CMPIInstanceFT),
                AT(CMPIInstanceFT, getProperty, 24),
                AT(CMPIInstanceFT, getPropertyAt, 32),
                AT(CMPIInstanceFT, getPropertyCount, 40),
                AT(CMPIInstanceFT, setProperty, 48),
                AT(CMPIInstanceFT, getObjectPath, 56),
                AT(CMPIInstanceFT, setPropertyFilter, 64),
                AT(CMPIInstanceFT, setObjectPath, 72),
                AT(CMPIInstanceFT, setPropertyWithOrigin, 80),

                SZ(CMPIEnumerationFT, 48),
                FT_HEAD(CMPIEnumerationFT),
                AT(CMPIEnumerationFT, getNext, 24),
                AT(CMPIEnumerationFT, hasNext, 32),
                AT(CMPIEnumerationFT, toArray, 40),

                SZ(CMPIDateTimeFT, 48),
                FT_HEAD(CMPIDateTimeFT),
                AT(CMPIDateTimeFT, getBinaryFormat, 24),
                AT(CMPIDateTimeFT, getStringFormat, 32),
                AT(CMPIDateTimeFT, isInterval, 40)});
}

TEST(CmpiLayout, QueryAndErrorTables) {
    expectRows({SZ(CMPISelectExpFT, 64),
                FT_HEAD(CMPISelectExpFT),
                AT(CMPISelectExpFT, evaluate, 24),
                AT(CMPISelectExpFT, getString, 32),
                AT(CMPISelectExpFT, getDOC, 40),
                AT(CMPISelectExpFT, getCOD, 48),
                AT(CMPISelectExpFT, evaluateUsingAccessor, 56),

                SZ(CMPISelectCondFT, 40),
                FT_HEAD(CMPISelectCondFT),
                AT(CMPISelectCondFT, getCountAndType, 24),
                AT(CMPISelectCondFT, getSubCondAt, 32),

                SZ(CMPISubCondFT, 48),
                FT_HEAD(CMPISubCondFT),
                AT(CMPISubCondFT, getCount, 24),
                AT(CMPISubCondFT, getPredicateAt, 32),
                AT(CMPISubCondFT, getPredicate, 40),

                SZ(CMPIPredicateFT, 40),
                FT_HEAD(CMPIPredicateFT),
                AT(CMPIPredicateFT, getData, 24),
                AT(CMPIPredicateFT, evaluateUsingAccessor, 32),

                SZ(CMPIErrorFT, 216),
                FT_HEAD(CMPIErrorFT),
                AT(CMPIErrorFT, getErrorType, 24),
                AT(CMPIErrorFT, getOtherErrorType, 32),
                AT(CMPIErrorFT, getOwningEntity, 40),
                AT(CMPIErrorFT, getMessageID, 48),
                AT(CMPIErrorFT, getMessage, 56),
                AT(CMPIErrorFT, getPerceivedSeverity, 64),
                AT(CMPIErrorFT, getProbableCause, 72),
                AT(CMPIErrorFT, getProbableCauseDescription, 80),
                AT(CMPIErrorFT, getRecommendedActions, 88),
                AT(CMPIErrorFT, getErrorSource, 96),
                AT(CMPIErrorFT, getErrorSourceFormat, 104),
                AT(CMPIErrorFT, getOtherErrorSourceFormat, 112),
                AT(CMPIErrorFT, getCIMStatusCode, 120),
                AT(CMPIErrorFT, getCIMStatusCodeDescription, 128),
                AT(CMPIErrorFT, getMessageArguments, 136),
                AT(CMPIErrorFT, setErrorType, 144),
                AT(CMPIErrorFT, setOtherErrorType, 152),
                AT(CMPIErrorFT, setProbableCauseDescription, 160),
                AT(CMPIErrorFT, setRecommendedActions, 168),
                AT(CMPIErrorFT, setErrorSource, 176),
                AT(CMPIErrorFT, setErrorSourceFormat, 184),
                AT(CMPIErrorFT, setOtherErrorSourceFormat, 192),
                AT(CMPIErrorFT, setCIMStatusCodeDescription, 200),
                AT(CMPIErrorFT, setMessageArguments, 208)});
}

// ---------------------------------------------------------------------------
// MI function tables
// ---------------------------------------------------------------------------

// ftVersion and miVersion (both int), then miName, then cleanup.
#define MI_HEAD(T)                                                                                 \
    AT(T, ftVersion, 0), MSZ(T, ftVersion, 4), AT(T, miVersion, 4), MSZ(T, miVersion, 4),          \
        AT(T, miName, 8), AT(T, cleanup, 16)

TEST(CmpiLayout, ProviderTables) {
    expectRows({SZ(CMPIInstanceMIFT, 80),
                MI_HEAD(CMPIInstanceMIFT),
                AT(CMPIInstanceMIFT, enumerateInstanceNames, 24),
                AT(CMPIInstanceMIFT, enumerateInstances, 32),
                AT(CMPIInstanceMIFT, getInstance, 40),
                AT(CMPIInstanceMIFT, createInstance, 48),
                AT(CMPIInstanceMIFT, modifyInstance, 56),
                AT(CMPIInstanceMIFT, deleteInstance, 64),
                AT(CMPIInstanceMIFT, execQuery, 72),

                SZ(CMPIMethodMIFT, 32),
                MI_HEAD(CMPIMethodMIFT),
                AT(CMPIMethodMIFT, invokeMethod, 24),

                SZ(CMPIAssociationMIFT, 56),
                MI_HEAD(CMPIAssociationMIFT),
                AT(CMPIAssociationMIFT, associators, 24),
                AT(CMPIAssociationMIFT, associatorNames, 32),
                AT(CMPIAssociationMIFT, references, 40),
                AT(CMPIAssociationMIFT, referenceNames, 48),

                SZ(CMPIPropertyMIFT, 48),
                MI_HEAD(CMPIPropertyMIFT),
                AT(CMPIPropertyMIFT, setProperty, 24),
                AT(CMPIPropertyMIFT, getProperty, 32),
                AT(CMPIPropertyMIFT, setPropertyWithOrigin, 40),

                SZ(CMPIIndicationMIFT, 72),
                MI_HEAD(CMPIIndicationMIFT),
                AT(CMPIIndicationMIFT, authorizeFilter, 24),
                AT(CMPIIndicationMIFT, mustPoll, 32),
                AT(CMPIIndicationMIFT, activateFilter, 40),
                AT(CMPIIndicationMIFT, deActivateFilter, 48),
                AT(CMPIIndicationMIFT, enableIndications, 56),
                AT(CMPIIndicationMIFT, disableIndications, 64)});
}

// ---------------------------------------------------------------------------
// Slot signatures that offsets cannot catch
// ---------------------------------------------------------------------------

template <typename Slot, typename Expected> constexpr bool sameSlot() {
    return std::is_same<Slot, Expected>::value;
}

TEST(CmpiLayout, SlotSignatures) {
    // Variadic: calling through a non-variadic pointer is undefined.
    EXPECT_TRUE((sameSlot<decltype(CMPIBrokerEncFT::getMessage),
                          CMPIString *(*)(const CMPIBroker *, const char *, const char *,
                                          CMPIStatus *, CMPICount, ...)>()));
    EXPECT_TRUE((sameSlot<decltype(CMPIBrokerEncFT::getMessage2),
                          CMPIString *(*)(const CMPIBroker *, const char *, CMPIMsgFileHandle,
                                          const char *, CMPIStatus *, CMPICount, ...)>()));
    // Count first, then element type.
    EXPECT_TRUE(
        (sameSlot<decltype(CMPIBrokerEncFT::newArray),
                  CMPIArray *(*)(const CMPIBroker *, CMPICount, CMPIType, CMPIStatus *)>()));
    // Value setters take (const CMPIValue *, CMPIType).
    EXPECT_TRUE((sameSlot<decltype(CMPIInstanceFT::setProperty),
                          CMPIStatus (*)(const CMPIInstance *, const char *, const CMPIValue *,
                                         CMPIType)>()));
    EXPECT_TRUE(
        (sameSlot<decltype(CMPIArgsFT::addArg),
                  CMPIStatus (*)(const CMPIArgs *, const char *, const CMPIValue *, CMPIType)>()));
    EXPECT_TRUE((sameSlot<decltype(CMPIResultFT::returnData),
                          CMPIStatus (*)(const CMPIResult *, const CMPIValue *, CMPIType)>()));
    // Getters return CMPIData by value (hidden return pointer).
    EXPECT_TRUE(
        (sameSlot<decltype(CMPIBrokerFT::invokeMethod),
                  CMPIData (*)(const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                               const char *, const CMPIArgs *, CMPIArgs *, CMPIStatus *)>()));
    EXPECT_TRUE((sameSlot<decltype(CMPIEnumerationFT::getNext),
                          CMPIData (*)(const CMPIEnumeration *, CMPIStatus *)>()));
    EXPECT_TRUE((sameSlot<decltype(CMPIEnumerationFT::hasNext),
                          CMPIBoolean (*)(const CMPIEnumeration *, CMPIStatus *)>()));
    EXPECT_TRUE((sameSlot<decltype(CMPIMethodMIFT::invokeMethod),
                          CMPIStatus (*)(CMPIMethodMI *, const CMPIContext *, const CMPIResult *,
                                         const CMPIObjectPath *, const char *, const CMPIArgs *,
                                         CMPIArgs *)>()));
}

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

TEST(CmpiConstants, TypeCodes) {
    expectRows({VAL(CMPI_null, 0),           VAL(CMPI_SIMPLE, 2),        VAL(CMPI_boolean, 2),
                VAL(CMPI_char16, 3),         VAL(CMPI_REAL, 8),          VAL(CMPI_real32, 8),
                VAL(CMPI_real64, 12),        VAL(CMPI_UINT, 128),        VAL(CMPI_uint8, 128),
                VAL(CMPI_uint16, 144),       VAL(CMPI_uint32, 160),      VAL(CMPI_uint64, 176),
                VAL(CMPI_SINT, 192),         VAL(CMPI_sint8, 192),       VAL(CMPI_sint16, 208),
                VAL(CMPI_sint32, 224),       VAL(CMPI_sint64, 240),      VAL(CMPI_INTEGER, 192),
                VAL(CMPI_ENC, 4096),         VAL(CMPI_instance, 4096),   VAL(CMPI_ref, 4352),
                VAL(CMPI_args, 4608),        VAL(CMPI_class, 4864),      VAL(CMPI_filter, 5120),
                VAL(CMPI_enumeration, 5376), VAL(CMPI_string, 5632),     VAL(CMPI_chars, 5888),
                VAL(CMPI_dateTime, 6144),    VAL(CMPI_ptr, 6400),        VAL(CMPI_charsptr, 6656),
                VAL(CMPI_ARRAY, 8192),

                VAL(CMPI_SIMPLEA, 8194),     VAL(CMPI_booleanA, 8194),   VAL(CMPI_char16A, 8195),
                VAL(CMPI_REALA, 8200),       VAL(CMPI_real32A, 8200),    VAL(CMPI_real64A, 8204),
                VAL(CMPI_UINTA, 8320),       VAL(CMPI_uint8A, 8320),     VAL(CMPI_uint16A, 8336),
                VAL(CMPI_uint32A, 8352),     VAL(CMPI_uint64A, 8368),    VAL(CMPI_SINTA, 8384),
                VAL(CMPI_sint8A, 8384),      VAL(CMPI_sint16A, 8400),    VAL(CMPI_sint32A, 8416),
                VAL(CMPI_sint64A, 8432),     VAL(CMPI_INTEGERA, 8384),   VAL(CMPI_ENCA, 12288),
                VAL(CMPI_instanceA, 12288),  VAL(CMPI_refA, 12544),      VAL(CMPI_stringA, 13824),
                VAL(CMPI_charsA, 14080),     VAL(CMPI_dateTimeA, 14336), VAL(CMPI_charsptrA, 14848),

                VAL(CMPI_keyInteger, 240),   VAL(CMPI_keyString, 5632),  VAL(CMPI_keyBoolean, 2),
                VAL(CMPI_keyRef, 4352),      VAL(CMPI_Byte, 192),        VAL(CMPI_Short, 208),
                VAL(CMPI_Int, 224),          VAL(CMPI_Long, 240),        VAL(CMPI_Float, 8),
                VAL(CMPI_Double, 12),        VAL(CMPI_LongA, 8432),      VAL(CMPI_DoubleA, 8204)});
}

TEST(CmpiConstants, ValueStatesFlagsAndCapabilities) {
    expectRows({VAL(CMPI_goodValue, 0),
                VAL(CMPI_nullValue, 0x100),
                VAL(CMPI_keyValue, 0x200),
                VAL(CMPI_notFound, 0x400),
                VAL(CMPI_badValue, 0x8000),

                VAL(CMPI_FLAG_LocalOnly, 1),
                VAL(CMPI_FLAG_DeepInheritance, 2),
                VAL(CMPI_FLAG_IncludeQualifiers, 4),
                VAL(CMPI_FLAG_IncludeClassOrigin, 8),

                VAL(CMPI_MB_Class_0, 0x1),
                VAL(CMPI_MB_Class_1, 0x3),
                VAL(CMPI_MB_Class_2, 0x7),
                VAL(CMPI_MB_Supports_PropertyMI, 0x100),
                VAL(CMPI_MB_Supports_IndicationMI, 0x200),
                VAL(CMPI_MB_Supports_IndicationPolling, 0x400),
                VAL(CMPI_MB_Supports_QueryNormalization, 0x800),
                VAL(CMPI_MB_Supports_Qualifier, 0x1000),
                VAL(CMPI_MB_Supports_Schema, 0x3000),
                VAL(CMPI_MB_Supports_MemEnhancements, 0x4000),
                VAL(CMPI_MB_Supports_Extended_Error, 0x8000),
                VAL(CMPI_MB_BasicRead, 0x1),
                VAL(CMPI_MB_BasicWrite, 0x3),
                VAL(CMPI_MB_InstanceManipulation, 0x7),
                VAL(CMPI_MB_AssociationTraversal, 0x9),
                VAL(CMPI_MB_QueryExecution, 0x11),
                VAL(CMPI_MB_QueryNormalization, 0x31),
                VAL(CMPI_MB_Indications, 0x81),
                VAL(CMPI_MB_BasicQualifierSupport, 0x47),
                VAL(CMPI_MB_OSEncapsulationSupport, 0x100),

                VAL(CMPIVersion100, 100),
                VAL(CMPIVersion200, 200),
                VAL(CMPICurrentVersion, 200)});
}

TEST(CmpiConstants, ReturnCodes) {
    expectRows({VAL(CMPI_RC_OK, 0),
                VAL(CMPI_RC_ERR_FAILED, 1),
                VAL(CMPI_RC_ERR_ACCESS_DENIED, 2),
                VAL(CMPI_RC_ERR_INVALID_NAMESPACE, 3),
                VAL(CMPI_RC_ERR_INVALID_PARAMETER, 4),
                VAL(CMPI_RC_ERR_INVALID_CLASS, 5),
                VAL(CMPI_RC_ERR_NOT_FOUND, 6),
                VAL(CMPI_RC_ERR_NOT_SUPPORTED, 7),
                VAL(CMPI_RC_ERR_CLASS_HAS_CHILDREN, 8),
                VAL(CMPI_RC_ERR_CLASS_HAS_INSTANCES, 9),
                VAL(CMPI_RC_ERR_INVALID_SUPERCLASS, 10),
                VAL(CMPI_RC_ERR_ALREADY_EXISTS, 11),
                VAL(CMPI_RC_ERR_NO_SUCH_PROPERTY, 12),
                VAL(CMPI_RC_ERR_TYPE_MISMATCH, 13),
                VAL(CMPI_RC_ERR_QUERY_LANGUAGE_NOT_SUPPORTED, 14),
                VAL(CMPI_RC_ERR_INVALID_QUERY, 15),
                VAL(CMPI_RC_ERR_METHOD_NOT_AVAILABLE, 16),
                VAL(CMPI_RC_ERR_METHOD_NOT_FOUND, 17),
                VAL(CMPI_RC_DO_NOT_UNLOAD, 50),
                VAL(CMPI_RC_NEVER_UNLOAD, 51),
                VAL(CMPI_RC_ERR_INVALID_HANDLE, 60),
                VAL(CMPI_RC_ERR_INVALID_DATA_TYPE, 61),
                VAL(CMPI_RC_ERROR_SYSTEM, 100),
                VAL(CMPI_RC_ERROR, 200)});
}

TEST(CmpiConstants, OtherEnumerations) {
    expectRows({VAL(CMPI_SEV_ERROR, 1),
                VAL(CMPI_SEV_INFO, 2),
                VAL(CMPI_SEV_WARNING, 3),
                VAL(CMPI_DEV_DEBUG, 4),
                VAL(CMPI_LEV_INFO, 1),
                VAL(CMPI_LEV_WARNING, 2),
                VAL(CMPI_LEV_VERBOSE, 3),
                VAL(CMPI_PredOp_Equals, 1),
                VAL(CMPI_PredOp_NotLike, 10),
                VAL(CMPI_PredOp_Not_Null, 11),
                VAL(CMPI_PredOp_Or, 14),
                VAL(CMPI_COND_DOC, 0),
                VAL(CMPI_COND_COD, 1),
                VAL(UnknownErrorType, 0),
                VAL(UnsupportedOperationError, 10),
                VAL(ErrorSevUnknown, 0),
                VAL(ErrorSevLow, 2),
                VAL(ErrorSevFatal, 5),
                VAL(ErrorProbCauseUnknown, 0),
                VAL(Unexpected_Information, 130),
                VAL(CMPIErrSrcUnknown, 0),
                VAL(CIMObjectHandle, 2)});
}

TEST(CmpiConstants, ContextEntryNamesAreTheirOwnNames) {
    EXPECT_STREQ(CMPIPrincipal, "CMPIPrincipal");
    EXPECT_STREQ(CMPIInvocationFlags, "CMPIInvocationFlags");
    EXPECT_STREQ(CMPIInitNameSpace, "CMPIInitNameSpace");
    EXPECT_STREQ(CMPIRole, "CMPIRole");
    EXPECT_STREQ(CMPIAcceptLanguage, "CMPIAcceptLanguage");
    EXPECT_STREQ(CMPIContentLanguage, "CMPIContentLanguage");
}

// ---------------------------------------------------------------------------
// Macros: routing to the right slot and argument order
// ---------------------------------------------------------------------------

// The last broker service or object slot a fake was called through.
struct LastCall {
    const char *slot = nullptr;
    const char *arg1 = nullptr;
    const char *arg2 = nullptr;
    const void *value = nullptr;
    CMPIType type = 0;
} last;

CMPIStatus okStatus() {
    CMPIStatus st = {CMPI_RC_OK, nullptr};
    return st;
}

CMPIStringFT fakeStringFT = [] {
    CMPIStringFT ft{};
    ft.getCharPtr = [](const CMPIString *s, CMPIStatus *) {
        return static_cast<const char *>(s->hdl);
    };
    return ft;
}();

CMPIString fakeNs{const_cast<char *>("ns"), &fakeStringFT};
CMPIString fakeHost{const_cast<char *>("host"), &fakeStringFT};
CMPIString fakeClass{const_cast<char *>("class"), &fakeStringFT};
CMPIString fakeNew{nullptr, &fakeStringFT};

CMPIBrokerEncFT fakeEncFT = [] {
    CMPIBrokerEncFT ft{};
    ft.newString = [](const CMPIBroker *, const char *s, CMPIStatus *) {
        fakeNew.hdl = const_cast<char *>(s);
        return &fakeNew;
    };
    return ft;
}();

CMPIBrokerFT fakeBrokerFT = [] {
    CMPIBrokerFT ft{};
    ft.brokerCapabilities = CMPI_MB_Class_2;
    ft.enumerateInstanceNames = [](const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                                   CMPIStatus *) {
        last.slot = "enumerateInstanceNames";
        return static_cast<CMPIEnumeration *>(nullptr);
    };
    ft.enumerateInstances = [](const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                               const char **, CMPIStatus *) {
        last.slot = "enumerateInstances";
        return static_cast<CMPIEnumeration *>(nullptr);
    };
    ft.execQuery = [](const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                      const char *query, const char *lang, CMPIStatus *) {
        last.slot = "execQuery";
        last.arg1 = query;
        last.arg2 = lang;
        return static_cast<CMPIEnumeration *>(nullptr);
    };
    ft.modifyInstance = [](const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                           const CMPIInstance *, const char **) {
        last.slot = "modifyInstance";
        return okStatus();
    };
    return ft;
}();

CMPIBroker fakeBroker{nullptr, &fakeBrokerFT, &fakeEncFT, nullptr, nullptr};

CMPIObjectPathFT fakeObjectPathFT = [] {
    CMPIObjectPathFT ft{};
    ft.getNameSpace = [](const CMPIObjectPath *, CMPIStatus *) { return &fakeNs; };
    ft.getHostname = [](const CMPIObjectPath *, CMPIStatus *) { return &fakeHost; };
    ft.getClassName = [](const CMPIObjectPath *, CMPIStatus *) { return &fakeClass; };
    ft.setNameSpace = [](CMPIObjectPath *, const char *ns) {
        last.slot = "setNameSpace";
        last.arg1 = ns;
        return okStatus();
    };
    ft.setClassName = [](CMPIObjectPath *, const char *cn) {
        last.slot = "setClassName";
        last.arg1 = cn;
        return okStatus();
    };
    ft.addKey = [](CMPIObjectPath *, const char *name, const CMPIValue *value, CMPIType type) {
        last.slot = "addKey";
        last.arg1 = name;
        last.value = value;
        last.type = type;
        return okStatus();
    };
    return ft;
}();

CMPIStatus returnsPlain() {
    CMReturn(CMPI_RC_ERR_NOT_FOUND);
}
CMPIStatus returnsString() {
    CMReturnWithString(CMPI_RC_ERR_FAILED, &fakeNs);
}
CMPIStatus returnsChars() {
    CMReturnWithChars(&fakeBroker, CMPI_RC_ERR_FAILED, "boom");
}

TEST(CmpiMacros, StatusMacros) {
    CMPIStatus st = returnsPlain();
    EXPECT_EQ(st.rc, CMPI_RC_ERR_NOT_FOUND);
    EXPECT_EQ(st.msg, nullptr);
    st = returnsString();
    EXPECT_EQ(st.msg, &fakeNs);
    st = returnsChars();
    EXPECT_EQ(st.rc, CMPI_RC_ERR_FAILED);
    EXPECT_STREQ(CMGetCharPtr(st.msg), "boom");

    CMPIStatus out = {CMPI_RC_ERR_FAILED, &fakeNs};
    CMSetStatus(&out, CMPI_RC_OK);
    EXPECT_EQ(out.rc, CMPI_RC_OK);
    EXPECT_EQ(out.msg, nullptr);
    CMSetStatusWithString(&out, CMPI_RC_ERR_ACCESS_DENIED, &fakeHost);
    EXPECT_EQ(out.rc, CMPI_RC_ERR_ACCESS_DENIED);
    EXPECT_EQ(out.msg, &fakeHost);
    CMSetStatusWithChars(&fakeBroker, &out, CMPI_RC_ERR_NOT_SUPPORTED, "nope");
    EXPECT_EQ(out.rc, CMPI_RC_ERR_NOT_SUPPORTED);
    EXPECT_STREQ(CMGetCharsPtr(out.msg, nullptr), "nope");
}

TEST(CmpiMacros, TestsOnObjectsAndData) {
    CMPIString *none = nullptr;
    CMPIString noHandle{nullptr, &fakeStringFT};
    EXPECT_TRUE(CMIsNullObject(none));
    EXPECT_TRUE(CMIsNullObject(&noHandle));
    EXPECT_FALSE(CMIsNullObject(&fakeNs));

    CMPIData d{};
    EXPECT_FALSE(CMIsNullValue(d) || CMIsKeyValue(d) || CMIsArray(d));
    d.type = CMPI_stringA;
    d.state = CMPI_nullValue | CMPI_keyValue;
    EXPECT_TRUE(CMIsNullValue(d) && CMIsKeyValue(d) && CMIsArray(d));
}

TEST(CmpiMacros, ObjectPathMacrosReachTheirOwnSlots) {
    int handle = 0;
    CMPIObjectPath op{&handle, &fakeObjectPathFT};
    EXPECT_STREQ(CMGetCharPtr(CMGetNameSpace(&op, nullptr)), "ns");
    EXPECT_STREQ(CMGetCharPtr(CMGetHostname(&op, nullptr)), "host");
    EXPECT_STREQ(CMGetCharPtr(CMGetClassName(&op, nullptr)), "class");
    CMSetNameSpace(&op, "root/cimv2");
    EXPECT_STREQ(last.slot, "setNameSpace");
    EXPECT_STREQ(last.arg1, "root/cimv2");
    CMSetClassName(&op, "CIM_Job");
    EXPECT_STREQ(last.slot, "setClassName");

    // CMPI_chars values are passed as the char * itself.
    const char *id = "ZELK-1";
    CMAddKey(&op, "InstanceID", id, CMPI_chars);
    EXPECT_STREQ(last.slot, "addKey");
    EXPECT_EQ(last.value, static_cast<const void *>(id));
    EXPECT_EQ(last.type, CMPI_chars);
}

TEST(CmpiMacros, BrokerMacrosReachTheirOwnSlots) {
    const CMPIBroker *b = &fakeBroker;
    CBEnumInstanceNames(b, nullptr, nullptr, nullptr);
    EXPECT_STREQ(last.slot, "enumerateInstanceNames");
    CBEnumInstances(b, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ(last.slot, "enumerateInstances");
    CBExecQuery(b, nullptr, nullptr, "SELECT * FROM X", "WQL", nullptr);
    EXPECT_STREQ(last.slot, "execQuery");
    EXPECT_STREQ(last.arg1, "SELECT * FROM X");
    EXPECT_STREQ(last.arg2, "WQL");
    CBSetInstance(b, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ(last.slot, "modifyInstance");
    EXPECT_EQ(CBGetClassification(b), static_cast<unsigned>(CMPI_MB_Class_2));
}

} // namespace

// ---------------------------------------------------------------------------
// MI stubs: table contents and factory behaviour
// ---------------------------------------------------------------------------

static const CMPIBroker *stubBroker;
static int stubHookRuns;

#define STUB_FN(name, ...)                                                                         \
    static CMPIStatus Stub##name(__VA_ARGS__) {                                                    \
        CMReturn(CMPI_RC_OK);                                                                      \
    }
STUB_FN(Cleanup, CMPIInstanceMI *, const CMPIContext *, CMPIBoolean)
STUB_FN(EnumInstanceNames, CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
        const CMPIObjectPath *)
STUB_FN(EnumInstances, CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
        const CMPIObjectPath *, const char **)
STUB_FN(GetInstance, CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
        const CMPIObjectPath *, const char **)
STUB_FN(CreateInstance, CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
        const CMPIObjectPath *, const CMPIInstance *)
STUB_FN(ModifyInstance, CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
        const CMPIObjectPath *, const CMPIInstance *, const char **)
STUB_FN(DeleteInstance, CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
        const CMPIObjectPath *)
STUB_FN(ExecQuery, CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
        const CMPIObjectPath *, const char *, const char *)
STUB_FN(MethodCleanup, CMPIMethodMI *, const CMPIContext *, CMPIBoolean)
STUB_FN(InvokeMethod, CMPIMethodMI *, const CMPIContext *, const CMPIResult *,
        const CMPIObjectPath *, const char *, const CMPIArgs *, CMPIArgs *)
#undef STUB_FN

CMInstanceMIStub(Stub, StubProv, stubBroker, stubHookRuns++);
CMMethodMIStub(Stub, StubProv, stubBroker, stubHookRuns++);

TEST(CmpiMacros, InstanceAndMethodStubs) {
    CMPIBroker broker{};
    CMPIStatus rc = {CMPI_RC_OK, nullptr};
    stubHookRuns = 0;

    CMPIInstanceMI *imi = StubProv_Create_InstanceMI(&broker, nullptr, &rc);
    ASSERT_NE(imi, nullptr);
    EXPECT_EQ(stubBroker, &broker);
    EXPECT_EQ(stubHookRuns, 1);
    EXPECT_EQ(rc.rc, CMPI_RC_OK);
    EXPECT_EQ(imi->hdl, nullptr);
    const CMPIInstanceMIFT *ift = imi->ft;
    EXPECT_EQ(ift->ftVersion, 200);
    EXPECT_EQ(ift->miVersion, 200);
    EXPECT_STREQ(ift->miName, "instanceStubProv");
    EXPECT_EQ(ift->cleanup, &StubCleanup);
    EXPECT_EQ(ift->enumerateInstanceNames, &StubEnumInstanceNames);
    EXPECT_EQ(ift->enumerateInstances, &StubEnumInstances);
    EXPECT_EQ(ift->getInstance, &StubGetInstance);
    EXPECT_EQ(ift->createInstance, &StubCreateInstance);
    EXPECT_EQ(ift->modifyInstance, &StubModifyInstance);
    EXPECT_EQ(ift->deleteInstance, &StubDeleteInstance);
    EXPECT_EQ(ift->execQuery, &StubExecQuery);

    CMPIMethodMI *mmi = StubProv_Create_MethodMI(&broker, nullptr, &rc);
    ASSERT_NE(mmi, nullptr);
    EXPECT_EQ(stubHookRuns, 2);
    EXPECT_STREQ(mmi->ft->miName, "methodStubProv");
    EXPECT_EQ(mmi->ft->ftVersion, 200);
    EXPECT_EQ(mmi->ft->cleanup, &StubMethodCleanup);
    EXPECT_EQ(mmi->ft->invokeMethod, &StubInvokeMethod);
    // The factory hands out the same object every time.
    EXPECT_EQ(StubProv_Create_MethodMI(&broker, nullptr, &rc), mmi);
}
