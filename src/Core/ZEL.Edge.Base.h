#pragma once
// The roots of the edge tree: an object that keeps the JSON object it was built from, and
// a node with its identity (type, name, description, ID, GUID, parent) and its edge.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ZEL.Edge.JSON.h"
#include "ZEL.Edge.Types.h"

namespace ZEL {

class TZELEdgeObject;

// Built only through the Create functions of the concrete classes, which parse the text,
// keep the object and load the node from it (LoadFromJSON is virtual, so the load cannot
// run inside a constructor).
class TZELBaseJSONCastObject {
public:
  static constexpr std::string_view TypeName = "TZELBaseJSONCastObject";

  virtual ~TZELBaseJSONCastObject() = default;
  TZELBaseJSONCastObject(const TZELBaseJSONCastObject&) = delete;
  TZELBaseJSONCastObject& operator=(const TZELBaseJSONCastObject&) = delete;

  // Reads what the class needs from AData; the base has nothing to read. The result is
  // looked at by nobody.
  virtual bool LoadFromJSON(const TJSON& AData);
  // The class name log lines print.
  virtual std::string_view ClassName() const { return TypeName; }

  // The node's own JSON object; nullptr when its text was not JSON at all.
  const TJSON* JSONObject() const { return FJSONObject ? &*FJSONObject : nullptr; }

protected:
  TZELBaseJSONCastObject() = default;

  TJSON* MutableJSONObject() { return FJSONObject ? &*FJSONObject : nullptr; }

  // Text that is not JSON leaves the node without an object (every key then reads as
  // missing); JSON that is not an object raises EInvalidCast.
  void InitFromText(std::string_view ARawJSON);
  // A value that is not an object raises EInvalidCast.
  void InitFromValue(const TJSON& AValue);

  template <class T>
  static std::unique_ptr<T> Loaded(std::unique_ptr<T> ANode, std::string_view ARawJSON) {
    static_cast<TZELBaseJSONCastObject&>(*ANode).InitFromText(ARawJSON);
    return ANode;
  }
  template <class T>
  static std::unique_ptr<T> Loaded(std::unique_ptr<T> ANode, const TJSON& AValue) {
    static_cast<TZELBaseJSONCastObject&>(*ANode).InitFromValue(AValue);
    return ANode;
  }

private:
  std::optional<TJSON> FJSONObject;
};

class TZELBaseEdgeEntity : public TZELBaseJSONCastObject {
public:
  static constexpr std::string_view TypeName = "TZELBaseEdgeEntity";

  // Reads the identity from AData: "Type", then "Name", "Description", "ID", "GUID",
  // "Parent"; an unknown type or the first missing text ends it. Always true.
  bool LoadFromJSON(const TJSON& AData) override;
  std::string_view ClassName() const override { return TypeName; }

  // The edge the node belongs to (not owned): the edge itself for an edge, the edge for
  // its conditions and providers, none for devices.
  TZELEdgeObject* Edge() const { return FEdge; }
  void SetEdge(TZELEdgeObject* AValue) { FEdge = AValue; }

  TEdgeAgentType EntityType() const { return FType; }
  const std::string& ID() const { return FID; }
  const std::string& GUID() const { return FGUID; }
  const std::string& Name() const { return FName; }
  const std::string& Description() const { return FDescription; }
  const std::string& ParentGUID() const { return FParentGUID; }

protected:
  TZELBaseEdgeEntity() = default;

private:
  TZELEdgeObject* FEdge = nullptr;
  TEdgeAgentType FType = TEdgeAgentType::atUnknown;
  std::string FGUID;
  std::string FID;
  std::string FParentGUID;
  std::string FName;
  std::string FDescription;
};

}  // namespace ZEL
