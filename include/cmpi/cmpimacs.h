/*
 * cmpimacs.h - CMPI 2.0 convenience macros and MI factory stubs.
 *
 * Every "call" macro is a thin wrapper around one function-table slot: it
 * evaluates its object argument twice (for ->ft and as the "this"
 * argument) and passes the remaining arguments through unchanged and in
 * order.  Macros that take a value cast it to const CMPIValue *, so a
 * pointer to a variable of the exact scalar type or, for CMPI_chars, the
 * char * itself may be passed.
 *
 * All macros expand to plain expressions or do { } while (0) statements
 * and work unchanged from C and C++.  There is no CMPI_INLINE variant: the
 * macro forms are always used.
 */
#ifndef CMPIMACS_H
#define CMPIMACS_H

#include "cmpift.h"

/* ------------------------------------------------------------------------
 * Status
 *
 * CMReturn* build a CMPIStatus and return it from the enclosing function.
 * CMSetStatus* fill *st; st must not be NULL (test optional rc pointers
 * before using them).
 * ------------------------------------------------------------------------ */
#define CMReturn(rcp)                                                          \
    do {                                                                       \
        CMPIStatus cmpiStat_ = {(CMPIrc)(rcp), NULL};                          \
        return cmpiStat_;                                                      \
    } while (0)

#define CMReturnWithString(rcp, str)                                           \
    do {                                                                       \
        CMPIStatus cmpiStat_ = {(CMPIrc)(rcp), (str)};                         \
        return cmpiStat_;                                                      \
    } while (0)

#define CMReturnWithChars(b, rcp, chars)                                       \
    do {                                                                       \
        CMPIStatus cmpiStat_ = {(CMPIrc)(rcp), NULL};                          \
        cmpiStat_.msg = (b)->eft->newString((b), (chars), NULL);               \
        return cmpiStat_;                                                      \
    } while (0)

#define CMSetStatus(st, rcp)                                                   \
    do {                                                                       \
        (st)->rc = (CMPIrc)(rcp);                                              \
        (st)->msg = NULL;                                                      \
    } while (0)

#define CMSetStatusWithString(st, rcp, string)                                 \
    do {                                                                       \
        (st)->rc = (CMPIrc)(rcp);                                              \
        (st)->msg = (string);                                                  \
    } while (0)

#define CMSetStatusWithChars(b, st, rcp, chars)                                \
    do {                                                                       \
        (st)->rc = (CMPIrc)(rcp);                                              \
        (st)->msg = (b)->eft->newString((b), (chars), NULL);                   \
    } while (0)

/* ------------------------------------------------------------------------
 * Tests on objects and data (no calls)
 * ------------------------------------------------------------------------ */

/* True if the object pointer or its broker handle (hdl) is NULL. */
#define CMIsNullObject(o) ((o) == NULL || (o)->hdl == NULL)

/* d is a CMPIData value; results are non-zero, not necessarily 1. */
#define CMIsNullValue(d) (((d).state) & CMPI_nullValue)
#define CMIsKeyValue(d) (((d).state) & CMPI_keyValue)
#define CMIsArray(d) (((d).type) & CMPI_ARRAY)

/*
 * The C string of a CMPIString read straight from its hdl.  Only valid
 * with brokers that keep the C string in hdl (sfcb does); CMGetCharsPtr()
 * is the portable form.
 */
#define CMGetCharPtr(s) ((char *)(s)->hdl)

/* ------------------------------------------------------------------------
 * Any encapsulated object
 * ------------------------------------------------------------------------ */
#define CMRelease(o) ((o)->ft->release((o)))
#define CMClone(o, rc) ((o)->ft->clone((o), (rc)))

/* ------------------------------------------------------------------------
 * Broker encapsulated-type services (CMPIBrokerEncFT)
 * ------------------------------------------------------------------------ */
#define CMNewInstance(b, op, rc) ((b)->eft->newInstance((b), (op), (rc)))
#define CMNewObjectPath(b, ns, cn, rc)                                         \
    ((b)->eft->newObjectPath((b), (ns), (cn), (rc)))
#define CMNewArgs(b, rc) ((b)->eft->newArgs((b), (rc)))
#define CMNewString(b, s, rc) ((b)->eft->newString((b), (s), (rc)))
#define CMNewArray(b, count, type, rc)                                         \
    ((b)->eft->newArray((b), (count), (type), (rc)))
#define CMNewDateTime(b, rc) ((b)->eft->newDateTime((b), (rc)))
#define CMNewDateTimeFromBinary(b, binTime, interval, rc)                      \
    ((b)->eft->newDateTimeFromBinary((b), (binTime), (interval), (rc)))
#define CMNewDateTimeFromChars(b, utcTime, rc)                                 \
    ((b)->eft->newDateTimeFromChars((b), (utcTime), (rc)))
#define CMNewSelectExp(b, query, lang, projection, rc)                         \
    ((b)->eft->newSelectExp((b), (query), (lang), (projection), (rc)))
#define CMClassPathIsA(b, op, type, rc)                                        \
    ((b)->eft->classPathIsA((b), (op), (type), (rc)))

/* Debugging aids. */
#define CDToString(b, o, rc) ((b)->eft->toString((b), (o), (rc)))
#define CDIsOfType(b, o, type, rc) ((b)->eft->isOfType((b), (o), (type), (rc)))
#define CDGetType(b, o, rc) ((b)->eft->getType((b), (o), (rc)))

/* Logging and tracing; severity is a CMPISeverity, level a CMPILevel. */
#define CMLogMessage(b, severity, id, text, string)                            \
    ((b)->eft->logMessage((b), (severity), (id), (text), (string)))
#define CMTraceMessage(b, level, component, text, string)                      \
    ((b)->eft->trace((b), (level), (component), (text), (string)))

/*
 * Message substitution arguments for CMGetMessage/CMGetMessage2: each
 * CMFmt* yields a (type code, value) pair with the value promoted the way
 * the broker reads it; CMFmtArgsN(...) prefixes the count.
 *   CMGetMessage(b, "ID", "default $0", &rc, CMFmtArgs1(CMFmtSint(n)))
 */
#define CMFmtSint(v) CMPI_sint32, ((long int)(v))
#define CMFmtUint(v) CMPI_uint32, ((unsigned long int)(v))
#define CMFmtSint64(v) CMPI_sint64, ((long long int)(v))
#define CMFmtUint64(v) CMPI_uint64, ((unsigned long long int)(v))
#define CMFmtReal(v) CMPI_real64, ((double)(v))
#define CMFmtBoolean(v) CMPI_boolean, ((int)(v))
#define CMFmtChars(v) CMPI_chars, ((char *)(v))
#define CMFmtString(v) CMPI_string, ((CMPIString *)(v))

#define CMFmtArgs0() 0
#define CMFmtArgs1(v1) 1, v1
#define CMFmtArgs2(v1, v2) 2, v1, v2
#define CMFmtArgs3(v1, v2, v3) 3, v1, v2, v3
#define CMFmtArgs4(v1, v2, v3, v4) 4, v1, v2, v3, v4
#define CMFmtArgs5(v1, v2, v3, v4, v5) 5, v1, v2, v3, v4, v5
#define CMFmtArgs6(v1, v2, v3, v4, v5, v6) 6, v1, v2, v3, v4, v5, v6
#define CMFmtArgs7(v1, v2, v3, v4, v5, v6, v7) 7, v1, v2, v3, v4, v5, v6, v7
#define CMFmtArgs8(v1, v2, v3, v4, v5, v6, v7, v8)                             \
    8, v1, v2, v3, v4, v5, v6, v7, v8
#define CMFmtArgs9(v1, v2, v3, v4, v5, v6, v7, v8, v9)                         \
    9, v1, v2, v3, v4, v5, v6, v7, v8, v9
#define CMFmtArgs10(v1, v2, v3, v4, v5, v6, v7, v8, v9, v10)                   \
    10, v1, v2, v3, v4, v5, v6, v7, v8, v9, v10

/* parms is a CMFmtArgsN(...) list and is deliberately not parenthesised. */
#define CMGetMessage(b, id, def, rc, parms)                                    \
    ((b)->eft->getMessage((b), (id), (def), (rc), parms))

#ifdef CMPI_VER_200
#define CMNewCMPIError(b, owner, msgID, msg, sev, pc, cimStatusCode, rc)       \
    ((b)->eft->newCMPIError((b), (owner), (msgID), (msg), (sev), (pc),         \
                            (cimStatusCode), (rc)))
#define CMOpenMessageFile(b, msgFile, msgFileHandle)                           \
    ((b)->eft->openMessageFile((b), (msgFile), (msgFileHandle)))
#define CMCloseMessageFile(b, msgFileHandle)                                   \
    ((b)->eft->closeMessageFile((b), (msgFileHandle)))
#define CMGetMessage2(b, id, msgFileHandle, def, rc, parms)                    \
    ((b)->eft->getMessage2((b), (id), (msgFileHandle), (def), (rc), parms))
#endif

/* ------------------------------------------------------------------------
 * Instance
 * ------------------------------------------------------------------------ */
#define CMGetProperty(inst, name, rc)                                          \
    ((inst)->ft->getProperty((inst), (name), (rc)))
#define CMGetPropertyAt(inst, index, nameOut, rc)                              \
    ((inst)->ft->getPropertyAt((inst), (index), (nameOut), (rc)))
#define CMGetPropertyCount(inst, rc)                                           \
    ((inst)->ft->getPropertyCount((inst), (rc)))
#define CMSetProperty(inst, name, value, type)                                 \
    ((inst)->ft->setProperty((inst), (name), (const CMPIValue *)(value),       \
                             (type)))
#define CMGetObjectPath(inst, rc) ((inst)->ft->getObjectPath((inst), (rc)))
#define CMSetObjectPath(inst, op) ((inst)->ft->setObjectPath((inst), (op)))
#define CMSetPropertyFilter(inst, props, keys)                                 \
    ((inst)->ft->setPropertyFilter((inst), (props), (keys)))
#ifdef CMPI_VER_200
#define CMSetPropertyWithOrigin(inst, name, value, type, origin)               \
    ((inst)->ft->setPropertyWithOrigin(                                        \
        (inst), (name), (const CMPIValue *)(value), (type), (origin)))
#endif

/* ------------------------------------------------------------------------
 * ObjectPath
 * ------------------------------------------------------------------------ */
#define CMSetHostname(op, hn) ((op)->ft->setHostname((op), (hn)))
#define CMGetHostname(op, rc) ((op)->ft->getHostname((op), (rc)))
#define CMSetNameSpace(op, ns) ((op)->ft->setNameSpace((op), (ns)))
#define CMGetNameSpace(op, rc) ((op)->ft->getNameSpace((op), (rc)))
#define CMSetClassName(op, cn) ((op)->ft->setClassName((op), (cn)))
#define CMGetClassName(op, rc) ((op)->ft->getClassName((op), (rc)))
#define CMAddKey(op, name, value, type)                                        \
    ((op)->ft->addKey((op), (name), (const CMPIValue *)(value), (type)))
#define CMGetKey(op, name, rc) ((op)->ft->getKey((op), (name), (rc)))
#define CMGetKeyAt(op, index, nameOut, rc)                                     \
    ((op)->ft->getKeyAt((op), (index), (nameOut), (rc)))
#define CMGetKeyCount(op, rc) ((op)->ft->getKeyCount((op), (rc)))
#define CMSetNameSpaceFromObjectPath(op, src)                                  \
    ((op)->ft->setNameSpaceFromObjectPath((op), (src)))
#define CMSetHostAndNameSpaceFromObjectPath(op, src)                           \
    ((op)->ft->setHostAndNameSpaceFromObjectPath((op), (src)))
#define CMGetClassQualifier(op, qName, rc)                                     \
    ((op)->ft->getClassQualifier((op), (qName), (rc)))
#define CMGetPropertyQualifier(op, pName, qName, rc)                           \
    ((op)->ft->getPropertyQualifier((op), (pName), (qName), (rc)))
#define CMGetMethodQualifier(op, methodName, qName, rc)                        \
    ((op)->ft->getMethodQualifier((op), (methodName), (qName), (rc)))
#define CMGetParameterQualifier(op, mName, pName, qName, rc)                   \
    ((op)->ft->getParameterQualifier((op), (mName), (pName), (qName), (rc)))
#define CMObjectPathToString(op, rc) ((op)->ft->toString((op), (rc)))

/* ------------------------------------------------------------------------
 * Array, Args, String, DateTime, Enumeration
 * ------------------------------------------------------------------------ */
#define CMGetArrayCount(ar, rc) ((ar)->ft->getSize((ar), (rc)))
#define CMGetArrayType(ar, rc) ((ar)->ft->getSimpleType((ar), (rc)))
#define CMGetArrayElementAt(ar, index, rc)                                     \
    ((ar)->ft->getElementAt((ar), (index), (rc)))
#define CMSetArrayElementAt(ar, index, value, type)                            \
    ((ar)->ft->setElementAt((ar), (index), (const CMPIValue *)(value), (type)))

#define CMAddArg(as, name, value, type)                                        \
    ((as)->ft->addArg((as), (name), (const CMPIValue *)(value), (type)))
#define CMGetArg(as, name, rc) ((as)->ft->getArg((as), (name), (rc)))
#define CMGetArgAt(as, index, nameOut, rc)                                     \
    ((as)->ft->getArgAt((as), (index), (nameOut), (rc)))
#define CMGetArgCount(as, rc) ((as)->ft->getArgCount((as), (rc)))

#define CMGetCharsPtr(st, rc) ((st)->ft->getCharPtr((st), (rc)))

#define CMGetStringFormat(dt, rc) ((dt)->ft->getStringFormat((dt), (rc)))
#define CMGetBinaryFormat(dt, rc) ((dt)->ft->getBinaryFormat((dt), (rc)))
#define CMIsInterval(dt, rc) ((dt)->ft->isInterval((dt), (rc)))

#define CMGetNext(en, rc) ((en)->ft->getNext((en), (rc)))
#define CMHasNext(en, rc) ((en)->ft->hasNext((en), (rc)))
#define CMToArray(en, rc) ((en)->ft->toArray((en), (rc)))

/* ------------------------------------------------------------------------
 * Result
 * ------------------------------------------------------------------------ */
#define CMReturnData(rslt, value, type)                                        \
    ((rslt)->ft->returnData((rslt), (const CMPIValue *)(value), (type)))
#define CMReturnInstance(rslt, inst)                                           \
    ((rslt)->ft->returnInstance((rslt), (inst)))
#define CMReturnObjectPath(rslt, op)                                           \
    ((rslt)->ft->returnObjectPath((rslt), (op)))
#define CMReturnDone(rslt) ((rslt)->ft->returnDone((rslt)))
#ifdef CMPI_VER_200
#define CMReturnError(rslt, err) ((rslt)->ft->returnError((rslt), (err)))
#endif

/* ------------------------------------------------------------------------
 * Context
 * ------------------------------------------------------------------------ */
#define CMGetContextEntry(ctx, name, rc)                                       \
    ((ctx)->ft->getEntry((ctx), (name), (rc)))
#define CMGetContextEntryAt(ctx, index, nameOut, rc)                           \
    ((ctx)->ft->getEntryAt((ctx), (index), (nameOut), (rc)))
#define CMGetContextEntryCount(ctx, rc) ((ctx)->ft->getEntryCount((ctx), (rc)))
#define CMAddContextEntry(ctx, name, value, type)                              \
    ((ctx)->ft->addEntry((ctx), (name), (const CMPIValue *)(value), (type)))

/* ------------------------------------------------------------------------
 * SelectExp, SelectCond, SubCond, Predicate
 * ------------------------------------------------------------------------ */
#define CMGetSelExpString(se, rc) ((se)->ft->getString((se), (rc)))
#define CMEvaluateSelExp(se, inst, rc) ((se)->ft->evaluate((se), (inst), (rc)))
#define CMEvaluateSelExpUsingAccessor(se, accessor, parm, rc)                  \
    ((se)->ft->evaluateUsingAccessor((se), (accessor), (parm), (rc)))
#define CMGetDoc(se, rc) ((se)->ft->getDOC((se), (rc)))
#define CMGetCod(se, rc) ((se)->ft->getCOD((se), (rc)))

#define CMGetSubCondCountAndType(sc, type, rc)                                 \
    ((sc)->ft->getCountAndType((sc), (type), (rc)))
#define CMGetSubCondAt(sc, index, rc)                                          \
    ((sc)->ft->getSubCondAt((sc), (index), (rc)))

#define CMGetPredicateCount(sc, rc) ((sc)->ft->getCount((sc), (rc)))
#define CMGetPredicateAt(sc, index, rc)                                        \
    ((sc)->ft->getPredicateAt((sc), (index), (rc)))
#define CMGetPredicate(sc, name, rc)                                           \
    ((sc)->ft->getPredicate((sc), (name), (rc)))

#define CMGetPredicateData(pr, type, op, lhs, rhs)                             \
    ((pr)->ft->getData((pr), (type), (op), (lhs), (rhs)))
#define CMEvaluatePredicateUsingAccessor(pr, accessor, parm, rc)               \
    ((pr)->ft->evaluateUsingAccessor((pr), (accessor), (parm), (rc)))

/* ------------------------------------------------------------------------
 * Error
 * ------------------------------------------------------------------------ */
#ifdef CMPI_VER_200
#define CMGetErrorType(e, rc) ((e)->ft->getErrorType((e), (rc)))
#define CMGetOtherErrorType(e, rc) ((e)->ft->getOtherErrorType((e), (rc)))
#define CMGetOwningEntity(e, rc) ((e)->ft->getOwningEntity((e), (rc)))
#define CMGetMessageID(e, rc) ((e)->ft->getMessageID((e), (rc)))
#define CMGetErrorMessage(e, rc) ((e)->ft->getMessage((e), (rc)))
#define CMGetPerceivedSeverity(e, rc) ((e)->ft->getPerceivedSeverity((e), (rc)))
#define CMGetProbableCause(e, rc) ((e)->ft->getProbableCause((e), (rc)))
#define CMGetProbableCauseDescription(e, rc)                                   \
    ((e)->ft->getProbableCauseDescription((e), (rc)))
#define CMGetRecommendedActions(e, rc)                                         \
    ((e)->ft->getRecommendedActions((e), (rc)))
#define CMGetErrorSource(e, rc) ((e)->ft->getErrorSource((e), (rc)))
#define CMGetErrorSourceFormat(e, rc) ((e)->ft->getErrorSourceFormat((e), (rc)))
#define CMGetOtherErrorSourceFormat(e, rc)                                     \
    ((e)->ft->getOtherErrorSourceFormat((e), (rc)))
#define CMGetCIMStatusCode(e, rc) ((e)->ft->getCIMStatusCode((e), (rc)))
#define CMGetCIMStatusCodeDescription(e, rc)                                   \
    ((e)->ft->getCIMStatusCodeDescription((e), (rc)))
#define CMGetMessageArguments(e, rc) ((e)->ft->getMessageArguments((e), (rc)))
#define CMSetErrorType(e, et) ((e)->ft->setErrorType((e), (et)))
#define CMSetOtherErrorType(e, oet) ((e)->ft->setOtherErrorType((e), (oet)))
#define CMSetProbableCauseDescription(e, pcd)                                  \
    ((e)->ft->setProbableCauseDescription((e), (pcd)))
#define CMSetRecommendedActions(e, ra)                                         \
    ((e)->ft->setRecommendedActions((e), (ra)))
#define CMSetErrorSource(e, es) ((e)->ft->setErrorSource((e), (es)))
#define CMSetErrorSourceFormat(e, esf)                                         \
    ((e)->ft->setErrorSourceFormat((e), (esf)))
#define CMSetOtherErrorSourceFormat(e, oesf)                                   \
    ((e)->ft->setOtherErrorSourceFormat((e), (oesf)))
#define CMSetCIMStatusCodeDescription(e, cd)                                   \
    ((e)->ft->setCIMStatusCodeDescription((e), (cd)))
#define CMSetMessageArguments(e, values)                                       \
    ((e)->ft->setMessageArguments((e), (values)))
#endif

/* ------------------------------------------------------------------------
 * Broker services (CMPIBrokerFT)
 * ------------------------------------------------------------------------ */
#define CBGetClassification(b) ((b)->bft->brokerCapabilities)
#define CBBrokerVersion(b) ((b)->bft->brokerVersion)
#define CBBrokerName(b) ((b)->bft->brokerName)

#define CBPrepareAttachThread(b, ctx)                                          \
    ((b)->bft->prepareAttachThread((b), (ctx)))
#define CBAttachThread(b, ctx) ((b)->bft->attachThread((b), (ctx)))
#define CBDetachThread(b, ctx) ((b)->bft->detachThread((b), (ctx)))
#define CBDeliverIndication(b, ctx, ns, ind)                                   \
    ((b)->bft->deliverIndication((b), (ctx), (ns), (ind)))

#define CBEnumInstanceNames(b, ctx, op, rc)                                    \
    ((b)->bft->enumerateInstanceNames((b), (ctx), (op), (rc)))
#define CBEnumInstances(b, ctx, op, props, rc)                                 \
    ((b)->bft->enumerateInstances((b), (ctx), (op), (props), (rc)))
#define CBGetInstance(b, ctx, op, props, rc)                                   \
    ((b)->bft->getInstance((b), (ctx), (op), (props), (rc)))
#define CBCreateInstance(b, ctx, op, inst, rc)                                 \
    ((b)->bft->createInstance((b), (ctx), (op), (inst), (rc)))
#define CBSetInstance(b, ctx, op, inst, props)                                 \
    ((b)->bft->modifyInstance((b), (ctx), (op), (inst), (props)))
#define CBDeleteInstance(b, ctx, op)                                           \
    ((b)->bft->deleteInstance((b), (ctx), (op)))
#define CBExecQuery(b, ctx, op, query, lang, rc)                               \
    ((b)->bft->execQuery((b), (ctx), (op), (query), (lang), (rc)))
#define CBAssociators(b, ctx, op, assocClass, resultClass, role, resultRole,   \
                      props, rc)                                               \
    ((b)->bft->associators((b), (ctx), (op), (assocClass), (resultClass),      \
                           (role), (resultRole), (props), (rc)))
#define CBAssociatorNames(b, ctx, op, assocClass, resultClass, role,           \
                          resultRole, rc)                                      \
    ((b)->bft->associatorNames((b), (ctx), (op), (assocClass), (resultClass),  \
                               (role), (resultRole), (rc)))
#define CBReferences(b, ctx, op, resultClass, role, props, rc)                 \
    ((b)->bft->references((b), (ctx), (op), (resultClass), (role), (props),    \
                          (rc)))
#define CBReferenceNames(b, ctx, op, resultClass, role, rc)                    \
    ((b)->bft->referenceNames((b), (ctx), (op), (resultClass), (role), (rc)))
#define CBInvokeMethod(b, ctx, op, method, in, out, rc)                        \
    ((b)->bft->invokeMethod((b), (ctx), (op), (method), (in), (out), (rc)))
#define CBSetProperty(b, ctx, op, name, value, type)                           \
    ((b)->bft->setProperty((b), (ctx), (op), (name),                           \
                           (const CMPIValue *)(value), (type)))
#define CBGetProperty(b, ctx, op, name, rc)                                    \
    ((b)->bft->getProperty((b), (ctx), (op), (name), (rc)))

/* ------------------------------------------------------------------------
 * MI factory stubs
 *
 * CMxxxMIStub(pfx, pn, broker, hook) defines, at file scope, a static
 * function table filled with the provider functions pfx##<Function> and
 * the exported factory pn##_Create_xxxMI().  The factory keeps a
 * function-static MI object, stores the broker handle in the variable
 * named by "broker" (a const CMPIBroker * visible at that point), runs
 * "hook" (a statement, or CMNoHook) and returns the MI; it leaves *rc as
 * the broker initialised it.  The stub ends with the factory's body, so a
 * semicolon after it is optional, as with the standard headers:
 *
 *     CMInstanceMIStub(ZELK, ZELKProvider, _broker, CMNoHook)
 * ------------------------------------------------------------------------ */
#define CMNoHook

#define CMInstanceMIStubChange(pfx) pfx##ModifyInstance

#define CMInstanceMIStub(pfx, pn, broker, hook)                                \
    static CMPIInstanceMIFT pn##_cmpiInstanceMIFT = {                          \
        CMPICurrentVersion,                                                    \
        CMPICurrentVersion,                                                    \
        "instance" #pn,                                                        \
        pfx##Cleanup,                                                          \
        pfx##EnumInstanceNames,                                                \
        pfx##EnumInstances,                                                    \
        pfx##GetInstance,                                                      \
        pfx##CreateInstance,                                                   \
        CMInstanceMIStubChange(pfx),                                           \
        pfx##DeleteInstance,                                                   \
        pfx##ExecQuery};                                                       \
    CMPI_EXTERN_C CMPIInstanceMI *pn##_Create_InstanceMI(                      \
        const CMPIBroker *brkr, const CMPIContext *ctx, CMPIStatus *rc)        \
    {                                                                          \
        static CMPIInstanceMI mi = {NULL, &pn##_cmpiInstanceMIFT};             \
        (void)ctx;                                                             \
        (void)rc;                                                              \
        broker = brkr;                                                         \
        hook;                                                                  \
        return &mi;                                                            \
    }

#define CMAssociationMIStub(pfx, pn, broker, hook)                             \
    static CMPIAssociationMIFT pn##_cmpiAssociationMIFT = {                    \
        CMPICurrentVersion,                                                    \
        CMPICurrentVersion,                                                    \
        "association" #pn,                                                     \
        pfx##AssociationCleanup,                                               \
        pfx##Associators,                                                      \
        pfx##AssociatorNames,                                                  \
        pfx##References,                                                       \
        pfx##ReferenceNames};                                                  \
    CMPI_EXTERN_C CMPIAssociationMI *pn##_Create_AssociationMI(                \
        const CMPIBroker *brkr, const CMPIContext *ctx, CMPIStatus *rc)        \
    {                                                                          \
        static CMPIAssociationMI mi = {NULL, &pn##_cmpiAssociationMIFT};       \
        (void)ctx;                                                             \
        (void)rc;                                                              \
        broker = brkr;                                                         \
        hook;                                                                  \
        return &mi;                                                            \
    }

#define CMMethodMIStub(pfx, pn, broker, hook)                                  \
    static CMPIMethodMIFT pn##_cmpiMethodMIFT = {                              \
        CMPICurrentVersion,                                                    \
        CMPICurrentVersion,                                                    \
        "method" #pn,                                                          \
        pfx##MethodCleanup,                                                    \
        pfx##InvokeMethod};                                                    \
    CMPI_EXTERN_C CMPIMethodMI *pn##_Create_MethodMI(                          \
        const CMPIBroker *brkr, const CMPIContext *ctx, CMPIStatus *rc)        \
    {                                                                          \
        static CMPIMethodMI mi = {NULL, &pn##_cmpiMethodMIFT};                 \
        (void)ctx;                                                             \
        (void)rc;                                                              \
        broker = brkr;                                                         \
        hook;                                                                  \
        return &mi;                                                            \
    }

/* The property stub leaves setPropertyWithOrigin NULL. */
#ifdef CMPI_VER_200
#define CMPropertyMIStubExtensions_(pfx) , NULL
#else
#define CMPropertyMIStubExtensions_(pfx)
#endif

#define CMPropertyMIStub(pfx, pn, broker, hook)                                \
    static CMPIPropertyMIFT pn##_cmpiPropertyMIFT = {                          \
        CMPICurrentVersion,                                                    \
        CMPICurrentVersion,                                                    \
        "property" #pn,                                                        \
        pfx##PropertyCleanup,                                                  \
        pfx##SetProperty,                                                      \
        pfx##GetProperty CMPropertyMIStubExtensions_(pfx)};                    \
    CMPI_EXTERN_C CMPIPropertyMI *pn##_Create_PropertyMI(                      \
        const CMPIBroker *brkr, const CMPIContext *ctx, CMPIStatus *rc)        \
    {                                                                          \
        static CMPIPropertyMI mi = {NULL, &pn##_cmpiPropertyMIFT};             \
        (void)ctx;                                                             \
        (void)rc;                                                              \
        broker = brkr;                                                         \
        hook;                                                                  \
        return &mi;                                                            \
    }

/*
 * enableIndications/disableIndications are filled from
 * pfx##EnableIndications/pfx##DisableIndications only when CMPI_VER_86 is
 * defined by the MI build; otherwise they are left NULL.
 */
#ifdef CMPI_VER_86
#define CMIndicationMIStubExtensions(pfx)                                      \
    pfx##EnableIndications, pfx##DisableIndications
#else
#define CMIndicationMIStubExtensions(pfx) NULL, NULL
#endif

#define CMIndicationMIStub(pfx, pn, broker, hook)                              \
    static CMPIIndicationMIFT pn##_cmpiIndicationMIFT = {                      \
        CMPICurrentVersion,                                                    \
        CMPICurrentVersion,                                                    \
        "Indication" #pn,                                                      \
        pfx##IndicationCleanup,                                                \
        pfx##AuthorizeFilter,                                                  \
        pfx##MustPoll,                                                         \
        pfx##ActivateFilter,                                                   \
        pfx##DeActivateFilter,                                                 \
        CMIndicationMIStubExtensions(pfx)};                                    \
    CMPI_EXTERN_C CMPIIndicationMI *pn##_Create_IndicationMI(                  \
        const CMPIBroker *brkr, const CMPIContext *ctx, CMPIStatus *rc)        \
    {                                                                          \
        static CMPIIndicationMI mi = {NULL, &pn##_cmpiIndicationMIFT};         \
        (void)ctx;                                                             \
        (void)rc;                                                              \
        broker = brkr;                                                         \
        hook;                                                                  \
        return &mi;                                                            \
    }

#endif /* CMPIMACS_H */
